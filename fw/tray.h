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
// The icon's menu, for a desktop that shows an icon's menu itself (a StatusNotifierItem's
// host): the chosen item is posted to wnd as WM_COMMAND with wParam = command, and an
// activation of the icon (a click the host does not turn into the menu) comes as
// WM_LBUTTONDBLCLK. Such an icon posts no WM_RBUTTONDOWN. Where the icon's clicks reach the
// window instead, the menu is kept and unused: the window shows one with TrackPopupMenu.
// False when there is no such icon.
bool TraySetMenu(Handle wnd, unsigned id, const std::vector<MenuItem>& items);
// Shows a pop-up menu at a screen point; the chosen item is posted to wnd as WM_COMMAND
// with wParam = command. Answers at once (the menu runs without blocking the caller).
void TrackPopupMenu(Handle wnd, const std::vector<MenuItem>& items, Point screen);
Point GetCursorPos();

}  // namespace fw
