// Windows virtual-key codes ⇄ X key symbols, shared by key messages and hot keys, and the
// names of keys shown in the hot-key field.
#include <X11/keysym.h>

#include "fw/gtk/gtk_native.h"
#include "fw/hotkey.h"

namespace fw::gtk {

namespace {

struct KeyEntry {
    unsigned vk;
    unsigned keysym;   // the first entry of a virtual key is the one grabbed for hot keys
    const char* name;  // keyboard name; null: the entry only maps symbols to the key
};

// Letters, digits and F-keys are computed; everything else is listed here.
constexpr KeyEntry kKeys[] = {
    {0x08, XK_BackSpace, "Backspace"},
    {0x09, XK_Tab, "Tab"},
    {0x09, XK_ISO_Left_Tab, nullptr},
    {0x0C, XK_KP_Begin, "Num 5"},
    {0x0D, XK_Return, "Enter"},
    {0x0D, XK_KP_Enter, nullptr},
    {0x10, XK_Shift_L, "Shift"},
    {0x10, XK_Shift_R, nullptr},
    {0x11, XK_Control_L, "Ctrl"},
    {0x11, XK_Control_R, nullptr},
    {0x12, XK_Alt_L, "Alt"},
    {0x12, XK_Alt_R, nullptr},
    {0x12, XK_Meta_L, nullptr},
    {0x12, XK_Meta_R, nullptr},
    {0x13, XK_Pause, "Pause"},
    {0x14, XK_Caps_Lock, "Caps Lock"},
    {0x1B, XK_Escape, "Esc"},
    {0x20, XK_space, "Space"},
    {0x20, XK_KP_Space, nullptr},
    {0x21, XK_Prior, "Page Up"},
    {0x21, XK_KP_Prior, nullptr},
    {0x22, XK_Next, "Page Down"},
    {0x22, XK_KP_Next, nullptr},
    {0x23, XK_End, "End"},
    {0x23, XK_KP_End, nullptr},
    {0x24, XK_Home, "Home"},
    {0x24, XK_KP_Home, nullptr},
    {0x25, XK_Left, "Left"},
    {0x25, XK_KP_Left, nullptr},
    {0x26, XK_Up, "Up"},
    {0x26, XK_KP_Up, nullptr},
    {0x27, XK_Right, "Right"},
    {0x27, XK_KP_Right, nullptr},
    {0x28, XK_Down, "Down"},
    {0x28, XK_KP_Down, nullptr},
    {0x2C, XK_Print, "Prnt Scrn"},
    {0x2D, XK_Insert, "Insert"},
    {0x2D, XK_KP_Insert, nullptr},
    {0x2E, XK_Delete, "Delete"},
    {0x2E, XK_KP_Delete, nullptr},
    {0x5B, XK_Super_L, "Left Windows"},
    {0x5C, XK_Super_R, "Right Windows"},
    {0x5D, XK_Menu, "Application"},
    {0x60, XK_KP_0, "Num 0"},
    {0x61, XK_KP_1, "Num 1"},
    {0x62, XK_KP_2, "Num 2"},
    {0x63, XK_KP_3, "Num 3"},
    {0x64, XK_KP_4, "Num 4"},
    {0x65, XK_KP_5, "Num 5"},
    {0x66, XK_KP_6, "Num 6"},
    {0x67, XK_KP_7, "Num 7"},
    {0x68, XK_KP_8, "Num 8"},
    {0x69, XK_KP_9, "Num 9"},
    {0x6A, XK_KP_Multiply, "Num *"},
    {0x6B, XK_KP_Add, "Num +"},
    {0x6C, XK_KP_Separator, "Num ,"},
    {0x6D, XK_KP_Subtract, "Num -"},
    {0x6E, XK_KP_Decimal, "Num Del"},
    {0x6F, XK_KP_Divide, "Num /"},
    {0x90, XK_Num_Lock, "Num Lock"},
    {0x91, XK_Scroll_Lock, "Scroll Lock"},
    {0xBA, XK_semicolon, ";"},
    {0xBB, XK_equal, "="},
    {0xBC, XK_comma, ","},
    {0xBD, XK_minus, "-"},
    {0xBE, XK_period, "."},
    {0xBF, XK_slash, "/"},
    {0xC0, XK_grave, "`"},
    {0xDB, XK_bracketleft, "["},
    {0xDC, XK_backslash, "\\"},
    {0xDD, XK_bracketright, "]"},
    {0xDE, XK_apostrophe, "'"},
    {0xE2, XK_less, "<"},
};

constexpr unsigned kVkF1 = 0x70;
constexpr unsigned kVkF24 = 0x87;

}  // namespace

unsigned VkFromKeysym(unsigned keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return 'A' + (keysym - XK_a);
    if (keysym >= XK_A && keysym <= XK_Z) return 'A' + (keysym - XK_A);
    if (keysym >= XK_0 && keysym <= XK_9) return '0' + (keysym - XK_0);
    if (keysym >= XK_F1 && keysym <= XK_F24) return kVkF1 + (keysym - XK_F1);
    for (const KeyEntry& k : kKeys)
        if (k.keysym == keysym) return k.vk;
    return 0;
}

unsigned KeysymFromVk(unsigned vk) {
    if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
    if (vk >= kVkF1 && vk <= kVkF24) return XK_F1 + (vk - kVkF1);
    for (const KeyEntry& k : kKeys)
        if (k.vk == vk) return k.keysym;
    return 0;
}

unsigned VkFromKeyEvent(const GdkEventKey* e) {
    // The symbol of the key at its base level: Shift/Ctrl/Alt left out, NumLock kept so the
    // keypad answers digits or arrows as its lock says.
    guint base = 0;
    GdkKeymap* km = gdk_keymap_get_for_display(gdk_window_get_display(e->window));
    auto state = static_cast<GdkModifierType>(e->state & GDK_MOD2_MASK);
    if (km && gdk_keymap_translate_keyboard_state(km, e->hardware_keycode, state, e->group, &base, nullptr, nullptr,
                                                  nullptr)) {
        if (unsigned vk = VkFromKeysym(base)) return vk;
    }
    return VkFromKeysym(e->keyval);
}

}  // namespace fw::gtk

namespace fw {

std::string KeyName(unsigned vk, bool extended) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, static_cast<char>(vk));
    if (vk >= gtk::kVkF1 && vk <= gtk::kVkF24) return "F" + std::to_string(vk - gtk::kVkF1 + 1);
    if (extended) {
        // The extended twin of a key has its own name on the keyboard.
        switch (vk) {
        case 0x0D: return "Num Enter";
        case 0x11: return "Right Ctrl";
        case 0x12: return "Right Alt";
        case 0x6F: return "Num /";
        default: break;
        }
    }
    for (const gtk::KeyEntry& k : gtk::kKeys)
        if (k.vk == vk && k.name) return k.name;
    return "";
}

}  // namespace fw
