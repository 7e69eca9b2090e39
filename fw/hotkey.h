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

}  // namespace fw
