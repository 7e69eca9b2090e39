#include "game/clear_worker.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "fw/threading.h"
#include "game/cache_clear.h"

namespace {
std::atomic<int> g_running{0};
std::atomic<int> g_pauseMs{1000};
}  // namespace

// What a worker shares with the object that started it: `stop` is set when the window goes.
struct ClearWorker::Job {
    fw::Handle target = fw::kNoWindow;
    bool clearUrlCache = false;
    std::string folder;
    std::chrono::milliseconds pause{1000};
    fw::Event stop{false};
};

int ClearWorker::Running() { return g_running.load(); }

void ClearWorker::SetPauseForTesting(std::chrono::milliseconds pause) {
    g_pauseMs = pause.count() > 0 ? static_cast<int>(pause.count()) : 1000;
}

void ClearWorker::Start(fw::Handle target, std::string cacheFolder, bool clearUrlCache) {
    if (m_job) return;
    auto job = std::make_shared<Job>();
    job->target = target;
    job->clearUrlCache = clearUrlCache;
    job->folder = std::move(cacheFolder);
    job->pause = std::chrono::milliseconds(g_pauseMs.load());
    m_job = job;
    ++g_running;
    try {
        std::thread([job] {
            Run(job);
            --g_running;
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the clearing ends here, as if it had run.
        --g_running;
        m_job.reset();
        fw::Window::Post(target, WM_CLEAR_DONE);
    }
}

void ClearWorker::Stop() {
    if (!m_job) return;
    // The worker is not waited for: it stops at its next step, and what it would post then
    // finds no window.
    m_job->stop.Set();
    m_job.reset();
}

// Trim, empty the URL cache (where this worker does it), empty the engine's cache folder,
// pause, report. Once told to stop it posts nothing.
void ClearWorker::Run(const std::shared_ptr<Job>& job) {
    // A failed trim is reported by the window (message boxes belong to the UI thread).
    if (!TrimAllProcesses()) fw::Window::Post(job->target, WM_CLEAR_FAILED);
    if (job->stop.IsSet()) return;
    if (job->clearUrlCache) {
        ClearUrlCache(nullptr);  // done when it returns
        if (job->stop.IsSet()) return;
    }
    if (!job->folder.empty()) DeleteTree(job->folder, false);
    if (job->stop.WaitFor(job->pause)) return;  // the window closed: nobody to tell
    fw::Window::Post(job->target, WM_CLEAR_DONE);
}
