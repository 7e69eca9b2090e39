#pragma once
// Facts about the machine and the running program.
#include <cstdint>
#include <functional>
#include <string>

#include "fw/geometry.h"

namespace fw {

// Milliseconds of a clock that only moves forward (not the time of day); the headless
// desktop's clock in tests.
std::uint64_t TickCountMs();

Size ScreenSize();  // the primary screen
Rect WorkArea();    // the primary screen less task bars
// The work area (the monitor less task bars) of the monitor that holds the largest part of
// `r`; the nearest monitor's when `r` is on none.
Rect MonitorWorkArea(const Rect& r);
// Whether some part of `r` at least `margin` pixels each way lies on a monitor.
bool OnSomeMonitor(const Rect& r, int margin = 1);
// Silences every page of the program, or gives each its sound back (a page that silenced
// itself stays silent). Pages made while silenced are silent. False where the system gave
// no way to do it (its sound is then unchanged).
bool MuteAllPages(bool muted);
std::string ExecutablePath();
// The executable's directory with its trailing separator; empty when the path has none.
std::string GetModuleDir();
// The directory part of a path, separator included ('/' or '\\'); "" without one.
std::string DirectoryOf(const std::string& path);
// Returns the part of the working set the program can give back to the system.
void TrimOwnWorkingSet();
// What the calling thread did since it started, as the scheduler counts it (µs): how long it
// ran on a processor and how long it was ready to run but waited for one. False where the
// system does not count it. On a loaded machine this tells the thread's own stalls (running,
// or asleep waiting for something) apart from the time it was given no processor.
bool ThreadSchedTimes(long long& runUs, long long& waitUs);

// Trims the working sets of every process this program may trim (its own and its browser
// engine's where the system allows it); the rest are passed over. False when the process
// list could not be read at all.
bool TrimAllWorkingSets();

// The browser engine's stored website data of every kind except cookies is cleared; `done`
// runs on the UI thread when that is finished (at once when there is nothing to clear).
// Called on the UI thread, unless BrowserDataClearsOnAnyThread() says otherwise.
void ClearBrowserDataExceptCookies(std::function<void()> done);
// Whether ClearBrowserDataExceptCookies may be called from any thread, where it does the
// work on the calling thread and returns once it is finished (`done` still runs on the UI
// thread): the system's URL cache on Windows, which can take seconds to empty and is
// therefore emptied by a worker. False where the engine is driven from the UI thread only
// (WebKitGTK); the call then belongs to the UI thread and answers later through `done`.
bool BrowserDataClearsOnAnyThread();
// The folder of the browser engine's disk cache ("" when there is none).
std::string BrowserCacheFolder();

}  // namespace fw
