#pragma once
// Cache clearing on a worker thread of its own: it trims the working sets of the processes
// the client may trim, empties the URL cache where that may be done off the UI thread
// (Windows; elsewhere the UI thread has cleared the engine's data before it starts the
// worker), empties the browser engine's cache folder, waits a short pause and tells its
// window that it is done. The worker touches no window: it knows its window by its handle
// only (a post to a window that is gone is dropped), and a window that closes tells it to
// stop, which also cuts the pause short.
//
// The worker is an fw::Worker, always joined. A stop looks at the run signal between steps,
// but a step itself runs to its end: trimming every process, the system's URL cache and a
// large cache folder may each take seconds. So the window's close waits for the worker a
// short bound only (kCloseWait); a worker still in a step then is kept with the process's
// other leaving workers and joined once it has ended (at the next Start or Stop of any
// clearing). One still running when the process exits ends with it, posting nothing.
#include <chrono>
#include <string>

#include "fw/messages.h"
#include "fw/threading.h"
#include "fw/window.h"

// What the worker posts to its window: a failed trim (the process list could not be read;
// the clearing still goes on), and the end of the clearing after the pause.
constexpr unsigned WM_CLEAR_FAILED = fw::WM_USER + 301;
constexpr unsigned WM_CLEAR_DONE = fw::WM_USER + 300;

class ClearWorker {
public:
    // How long a closing window waits for a worker that is in the middle of a step.
    static constexpr std::chrono::milliseconds kCloseWait{100};

    ClearWorker() = default;
    ClearWorker(const ClearWorker&) = delete;
    ClearWorker& operator=(const ClearWorker&) = delete;
    ~ClearWorker() { Stop(); }

    // Starts a worker that empties the URL cache when `clearUrlCache` (ClearUrlCache, after
    // the trim), clears `cacheFolder` (nothing when empty) and reports to `target`; nothing
    // while one is busy (Done or Stop was not called since). When no thread can be had,
    // WM_CLEAR_DONE is posted at once, as if it had run.
    void Start(fw::Handle target, std::string cacheFolder, bool clearUrlCache = false);
    // WM_CLEAR_DONE has come: the worker, which ends right after posting it, is joined, and a
    // new one may start.
    void Done();
    // The window goes: the worker stops at its next step and posts nothing more. Waits for it
    // at most kCloseWait (see above).
    void Stop();
    bool busy() const { return m_bBusy; }

    // Workers still running in the process (a stopped one may still be on its way out).
    static int Running();
    // The pause before the report (1 s; tests shorten it; zero restores it).
    static void SetPauseForTesting(std::chrono::milliseconds pause);

private:
    struct Job;
    static void Run(const Job& job, const fw::Event& stop);

    fw::Worker m_worker;
    bool m_bBusy = false;
};
