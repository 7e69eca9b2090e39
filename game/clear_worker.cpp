#include "game/clear_worker.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "game/cache_clear.h"

namespace {
std::atomic<int> g_running{0};
std::atomic<int> g_pauseMs{1000};

// Workers whose window closed while they were in a step: joined once they have ended.
struct Leaving {
    std::mutex m;
    std::vector<fw::Worker> workers;
};
Leaving& TheLeaving() {
    // Never destroyed: a worker still in a step when the process exits ends with it, and
    // destroying the list would join it there.
    static auto* leaving = new Leaving();
    return *leaving;
}

// Joins the leaving workers that have ended (each join returns at once).
void ReapLeaving() {
    Leaving& l = TheLeaving();
    std::lock_guard<std::mutex> lock(l.m);
    std::erase_if(l.workers, [](const fw::Worker& w) { return !w.Running(); });
}

// At exit the leaving workers that have ended are joined too; one still in a step is not
// waited for.
struct ReapAtExit {
    ~ReapAtExit() { ReapLeaving(); }
} g_reapAtExit;
}  // namespace

// What one clearing does, copied to its worker.
struct ClearWorker::Job {
    fw::Handle target = fw::kNoWindow;
    bool clearUrlCache = false;
    std::string folder;
    std::chrono::milliseconds pause{1000};
};

int ClearWorker::Running() { return g_running.load(); }

void ClearWorker::SetPauseForTesting(std::chrono::milliseconds pause) {
    g_pauseMs = pause.count() > 0 ? static_cast<int>(pause.count()) : 1000;
}

void ClearWorker::Start(fw::Handle target, std::string cacheFolder, bool clearUrlCache) {
    if (m_bBusy) return;
    ReapLeaving();
    Job job;
    job.target = target;
    job.clearUrlCache = clearUrlCache;
    job.folder = std::move(cacheFolder);
    job.pause = std::chrono::milliseconds(g_pauseMs.load());
    ++g_running;
    const bool started = m_worker.Start([job = std::move(job)](const fw::Event& stop) {
        Run(job, stop);
        --g_running;
    });
    if (!started) {
        // No thread to be had: the clearing ends here, as if it had run.
        --g_running;
        fw::Window::Post(target, WM_CLEAR_DONE);
        return;
    }
    m_bBusy = true;
}

void ClearWorker::Done() {
    m_bBusy = false;
    m_worker.Stop();  // it posted its report as its last act
}

void ClearWorker::Stop() {
    m_bBusy = false;
    if (!m_worker.StopWithin(kCloseWait)) {
        Leaving& l = TheLeaving();
        std::lock_guard<std::mutex> lock(l.m);
        l.workers.push_back(std::move(m_worker));
    }
    ReapLeaving();
}

// Trim, empty the URL cache (where this worker does it), empty the engine's cache folder,
// pause, report. Once told to stop it posts nothing.
void ClearWorker::Run(const Job& job, const fw::Event& stop) {
    // A failed trim is reported by the window (message boxes belong to the UI thread).
    if (!TrimAllProcesses()) fw::Window::Post(job.target, WM_CLEAR_FAILED);
    if (stop.IsSet()) return;
    if (job.clearUrlCache) {
        ClearUrlCache(nullptr);  // done when it returns
        if (stop.IsSet()) return;
    }
    if (!job.folder.empty()) DeleteTree(job.folder, false);
    if (stop.WaitFor(job.pause)) return;  // the window closed: nobody to tell
    fw::Window::Post(job.target, WM_CLEAR_DONE);
}
