#pragma once
// The headless desktop's stand-ins for the browser engine's stored data and for working-set
// trimming, with the controls tests use: where the engine's disk cache lies, whether a clear
// of the engine's data finishes at once or when the test says so, whether trimming can read
// the process list, and how often each was asked for.
#include <string>

namespace fw::headless {

// Back to the start: no cache folder, clears finish at once, trimming succeeds, counts 0.
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

// fw::TrimAllWorkingSets answers false (the process list cannot be read) while `fails`.
void SetTrimAllFails(bool fails);
int TrimAllCalls();  // from any thread

}  // namespace fw::headless
