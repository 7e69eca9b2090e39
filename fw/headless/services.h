#pragma once
// The headless desktop's stand-ins for the browser engine's stored data and for working-set
// trimming, with the controls tests use: where the engine's disk cache lies, whether a clear
// of the engine's data finishes at once or when the test says so, whether trimming can read
// the process list, and how often each was asked for.
#include <functional>
#include <string>

namespace fw::headless {

// Back to the start: no cache folder, clears finish at once on the UI thread, trimming
// succeeds, counts 0, no hook.
void ResetGameServices();

// What fw::BrowserCacheFolder() answers ("" at the start: the engine keeps no disk cache).
void SetBrowserCacheFolder(const std::string& path);

// fw::ClearBrowserDataExceptCookies: with `deferred`, its completions wait (in order) until
// FinishBrowserDataClears runs them, as the real engine answers later; otherwise each runs
// before the call returns.
void SetBrowserDataClearDeferred(bool deferred);
// Runs the waiting completions; answers how many ran.
int FinishBrowserDataClears();
int PendingBrowserDataClears();
int BrowserDataClears();  // how many clears were asked for

// fw::BrowserDataClearsOnAnyThread answers `anyThread` (false at the start, as WebKit's
// clear belongs to the UI thread); while true, fw::ClearBrowserDataExceptCookies finishes on
// the thread that calls it (as the system's URL cache on Windows), `done` included.
void SetBrowserDataClearsOnAnyThread(bool anyThread);
// Runs on the calling thread at the start of every fw::ClearBrowserDataExceptCookies (set it
// before a clearing starts; null: none).
void OnBrowserDataClear(std::function<void()> hook);

// fw::TrimAllWorkingSets answers false (the process list cannot be read) while `fails`.
void SetTrimAllFails(bool fails);
int TrimAllCalls();  // from any thread

}  // namespace fw::headless
