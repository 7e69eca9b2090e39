#pragma once
// What the Win32 back end offers its own tests (tests/win32/): the system's window of an fw
// window, and a message loop that runs until a condition holds.
#include <functional>

#include "fw/windows/windows_api.h"
#include "fw/window.h"

namespace fw::win32 {

// The system's window of an fw window (null when gone).
HWND HwndOf(Handle h);
// Runs the loop until `until` holds, the time-out passes (ms) or the program quits; answers
// whether `until` held. A null condition runs the loop for the whole time.
bool PumpUntil(const std::function<bool()>& until, unsigned timeoutMs);

}  // namespace fw::win32
