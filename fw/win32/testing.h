#pragma once
// What the Win32 back end offers its own tests (tests/win32/): the system's window of an fw
// window, a message loop that runs until a condition holds, and the browser controls' event
// sinks.
#include <functional>

#include "fw/windows/windows_api.h"
#include "fw/window.h"

namespace fw {
class BrowserControl;
}

namespace fw::win32 {

// The system's window of an fw window (null when gone).
HWND HwndOf(Handle h);
// Runs the loop until `until` holds, the time-out passes (ms) or the program quits; answers
// whether `until` held. A null condition runs the loop for the whole time.
bool PumpUntil(const std::function<bool()>& until, unsigned timeoutMs);
// The sink to which the browser control delivers its events (DWebBrowserEvents2), so that a
// test can play events that the control under test cannot raise (no reference is added).
IDispatch* BrowserEventSinkForTesting(BrowserControl& control);
// The same for the control that fills a window of the back end's own (a page's pop-up); null
// when it has none.
IDispatch* BrowserEventSinkInForTesting(HWND window);

}  // namespace fw::win32
