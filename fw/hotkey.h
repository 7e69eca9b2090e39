#pragma once
// System-wide hot keys. Keys are Windows virtual-key codes on every platform; modifiers are
// MOD_ALT, MOD_CONTROL and MOD_SHIFT. A pressed hot key posts WM_HOTKEY (wParam = id) to
// the window that registered it.
#include <string>

#include "fw/window.h"

namespace fw {

// False when the system or another program already holds the combination, or the key has
// no equivalent on this platform.
bool RegisterHotKey(Handle wnd, int id, unsigned modifiers, unsigned vk);
bool UnregisterHotKey(Handle wnd, int id);
// The keyboard's name of a key ("F10", "Ctrl", "Alt", "Shift", "A" ...).
std::string KeyName(unsigned vk, bool extended = false);

// ---- One hot key shared by the program's processes on a desktop session ---------------
//
// A player may run several copies of the program at once (one per account, each from its
// own folder) that want the same combination. Each joins the combination's group with one
// window. The first holds the system's registration and gets the presses, as WM_HOTKEY; the
// others are members. Whoever gets a press tells the whole group with TellHotKeyGroup: the
// window of every member (its own too) gets WM_HOTKEY_GROUP (wParam = the id it joined with,
// lParam = `what`). When the holder leaves the group, or its process ends however it ends, a
// member takes the registration over within a second. The processes find each other on the
// desktop's own channel (X: an unmapped window per member with properties, and client
// messages; Windows: a window property and a registered message), with no file and no
// server. A process joins a combination's group once; another combination is another group.
enum class HotKeyRole {
    Holder,   // this window holds the system's registration
    Member,   // another process of the program holds it
    Refused,  // the system refuses it and no process of the program holds it: not joined
};
HotKeyRole JoinHotKeyGroup(Handle wnd, int id, unsigned modifiers, unsigned vk);
// Leaves the group (giving up the registration if held). The window's groups also go with it.
void LeaveHotKeyGroup(Handle wnd, int id);
// Posts WM_HOTKEY_GROUP to the window of each member of the group `wnd` joined under `id`.
void TellHotKeyGroup(Handle wnd, int id, LPARAM what);
// Whether any process of the group shows a window on the screen (a minimised one counts).
// The headless desktop is one process: any visible top-level window counts.
bool HotKeyGroupShown(Handle wnd, int id);

}  // namespace fw
