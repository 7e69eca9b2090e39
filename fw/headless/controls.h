#pragma once
// The headless desktop's controls as tests see them: what a hot-key field shows, and the
// user typing a combination into it.
#include <optional>
#include <string>

#include "fw/geometry.h"
#include "fw/window.h"

namespace fw::headless {

struct HotKeyFieldInfo {
    unsigned vk = 0;     // the key (low byte of HKM_GETHOTKEY)
    unsigned flags = 0;  // HOTKEYF_* (high byte)
    std::string text;    // what the field shows
    std::string face;    // its font
    int pointSize = 0;
    Rect rect{};  // in the parent's client area
    bool visible = false;
    bool focused = false;  // it has the keyboard focus
};

// The hot-key field with this id among the children of `parent`; nullopt when there is none.
std::optional<HotKeyFieldInfo> FindHotKeyField(const Window& parent, int id);
// The user presses a combination in that field: it shows it from now on, as the control
// does (key and flags are kept to a byte each). False when there is no such field.
bool TypeHotKey(const Window& parent, int id, unsigned vk, unsigned flags);
// The next HotKeyField::Create fails (a control that cannot be made).
void FailNextHotKeyFieldCreation();

}  // namespace fw::headless
