#pragma once
// Cache clearing on a worker thread of its own: it trims the working sets of the processes
// the client may trim, empties the URL cache where that may be done off the UI thread
// (Windows; elsewhere the UI thread has cleared the engine's data before it starts the
// worker), empties the browser engine's cache folder, waits a short pause and tells its
// window that it is done. The worker touches no window: it knows its window by its handle
// only (a post to a window that is gone is dropped), and a window that closes tells it to
// stop, which also cuts the pause short. It is never joined; a stopped worker ends at its
// next step.
#include <chrono>
#include <memory>
#include <string>

#include "fw/messages.h"
#include "fw/window.h"

// What the worker posts to its window: a failed trim (the process list could not be read;
// the clearing still goes on), and the end of the clearing after the pause.
constexpr unsigned WM_CLEAR_FAILED = fw::WM_USER + 301;
constexpr unsigned WM_CLEAR_DONE = fw::WM_USER + 300;

class ClearWorker {
public:
    ClearWorker() = default;
    ClearWorker(const ClearWorker&) = delete;
    ClearWorker& operator=(const ClearWorker&) = delete;
    ~ClearWorker() { Stop(); }

    // Starts a worker that empties the URL cache when `clearUrlCache` (ClearUrlCache, after
    // the trim), clears `cacheFolder` (nothing when empty) and reports to `target`; nothing
    // while one is busy (Done or Stop was not called since). When no thread can be had,
    // WM_CLEAR_DONE is posted at once, as if it had run.
    void Start(fw::Handle target, std::string cacheFolder, bool clearUrlCache = false);
    // WM_CLEAR_DONE has come: a new worker may start.
    void Done() { m_job.reset(); }
    // The window goes: the worker stops at its next step and posts nothing more.
    void Stop();
    bool busy() const { return m_job != nullptr; }

    // Workers still running in the process (a stopped one may still be on its way out).
    static int Running();
    // The pause before the report (1 s; tests shorten it; zero restores it).
    static void SetPauseForTesting(std::chrono::milliseconds pause);

private:
    struct Job;
    static void Run(const std::shared_ptr<Job>& job);

    std::shared_ptr<Job> m_job;  // the running clearing, shared with its worker
};
