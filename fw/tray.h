#pragma once
// The notification-area icon and the pop-up menu.
#include <string>
#include <vector>

#include "fw/image.h"
#include "fw/window.h"

namespace fw {

// Adds an icon; its mouse events are posted to wnd as callbackMsg with wParam = id and
// lParam = the mouse message (WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, ...).
bool TrayAdd(Handle wnd, unsigned id, unsigned callbackMsg, const Image* icon, const std::string& tip);
bool TrayDelete(Handle wnd, unsigned id);

struct MenuItem {
    std::string text;
    unsigned command = 0;
};
// Shows a pop-up menu at a screen point; the chosen item is posted to wnd as WM_COMMAND
// with wParam = command. Answers at once (the menu runs without blocking the caller).
void TrackPopupMenu(Handle wnd, const std::vector<MenuItem>& items, Point screen);
Point GetCursorPos();

}  // namespace fw
