// The headless desktop's browser-data clearing and working-set trimming (see services.h):
// nothing on the machine is trimmed or cleared; tests script the answers and read the counts.
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "fw/headless/services.h"
#include "fw/system.h"

namespace fw::headless {

namespace {

struct Services {
    std::string cacheFolder;
    bool deferred = false;
    std::deque<std::function<void()>> pending;
    std::atomic<int> clears{0};  // asked for from a worker too (anyThread)
    std::atomic<bool> anyThread{false};
    std::function<void()> onClear;       // set by a test before a clearing starts
    std::atomic<bool> trimFails{false};  // read by clearing workers
    std::atomic<int> trimCalls{0};
};

Services& S() {
    static auto* s = new Services();  // never destroyed: a worker may still trim at exit
    return *s;
}

}  // namespace

void ResetGameServices() {
    Services& s = S();
    s.cacheFolder.clear();
    s.deferred = false;
    s.pending.clear();
    s.clears = 0;
    s.anyThread = false;
    s.onClear = nullptr;
    s.trimFails = false;
    s.trimCalls = 0;
}

void SetBrowserCacheFolder(const std::string& path) { S().cacheFolder = path; }
void SetBrowserDataClearDeferred(bool deferred) { S().deferred = deferred; }

int FinishBrowserDataClears() {
    int ran = 0;
    // A completion may ask for another clear: only those waiting now run.
    std::deque<std::function<void()>> now;
    now.swap(S().pending);
    for (auto& done : now) {
        if (done) done();
        ++ran;
    }
    return ran;
}

int PendingBrowserDataClears() { return static_cast<int>(S().pending.size()); }
int BrowserDataClears() { return S().clears; }

void SetBrowserDataClearsOnAnyThread(bool anyThread) { S().anyThread = anyThread; }
void OnBrowserDataClear(std::function<void()> hook) { S().onClear = std::move(hook); }

void SetTrimAllFails(bool fails) { S().trimFails = fails; }
int TrimAllCalls() { return S().trimCalls; }

}  // namespace fw::headless

namespace fw {

bool TrimAllWorkingSets() {
    auto& s = headless::S();
    ++s.trimCalls;
    return !s.trimFails;
}

void ClearBrowserDataExceptCookies(std::function<void()> done) {
    auto& s = headless::S();
    if (s.onClear) s.onClear();
    ++s.clears;
    if (s.anyThread) {
        // As on Windows: the work is done on the calling thread, whichever it is. (A `done`
        // runs there at once too: the clearing worker passes none.)
        if (done) done();
        return;
    }
    if (s.deferred) {
        s.pending.push_back(std::move(done));
        return;
    }
    if (done) done();
}

bool BrowserDataClearsOnAnyThread() { return headless::S().anyThread; }

std::string BrowserCacheFolder() { return headless::S().cacheFolder; }

}  // namespace fw
