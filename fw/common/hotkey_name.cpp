// The display name of a hot-key combination, composed from the keyboard's key names.
#include "fw/hotkey.h"
#include "fw/hotkey_field.h"

namespace fw {

std::string HotKeyName(unsigned vk, unsigned flags) {
    vk &= 0xFF;
    if (vk == 0) return {};
    std::string name;
    // Modifiers in the order Ctrl, Shift, Alt, each followed by " + ".
    static const struct {
        unsigned flag;
        unsigned vk;
    } kModifiers[] = {{HOTKEYF_CONTROL, VK_CONTROL}, {HOTKEYF_SHIFT, VK_SHIFT}, {HOTKEYF_ALT, VK_MENU}};
    for (const auto& m : kModifiers)
        if (flags & m.flag) name += KeyName(m.vk) + " + ";
    // The extended flag tells apart keys that share a scan code (Insert and Num 0, the two
    // Enter keys); where the platform's names do not depend on it, KeyName ignores it.
    return name + KeyName(vk, (flags & HOTKEYF_EXT) != 0);
}

}  // namespace fw
