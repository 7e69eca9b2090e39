#pragma once
// The hot-key field: a child control in which the user presses a key combination. It shows
// the combination's name and answers it as a virtual-key code and modifier flags (the flags
// of the Windows hot-key control: 1 Shift, 2 Ctrl, 4 Alt, 8 extended key).
#include <memory>
#include <string>

#include "fw/window.h"

namespace fw {

constexpr unsigned HOTKEYF_SHIFT = 0x01;
constexpr unsigned HOTKEYF_CONTROL = 0x02;
constexpr unsigned HOTKEYF_ALT = 0x04;
constexpr unsigned HOTKEYF_EXT = 0x08;

class HotKeyField {
public:
    // A visible child of `parent` in the rectangle (parent client coordinates), using a font
    // of the given face and point size. Null when it cannot be made.
    static std::unique_ptr<HotKeyField> Create(Window& parent, int id, const Rect& rect, const std::string& face,
                                               int pointSize);
    virtual ~HotKeyField() = default;

    // The combination shown: low byte the key, high byte the flags (as HKM_SETHOTKEY).
    virtual void SetHotKey(unsigned vk, unsigned flags) = 0;
    virtual void GetHotKey(unsigned& vk, unsigned& flags) const = 0;
    virtual std::string Text() const = 0;  // what the field shows
    virtual void Focus() = 0;
};

// The display name of a combination: for each modifier present, in the order Ctrl, Shift,
// Alt, the key's name followed by " + ", then the key's own name. Empty for no key.
std::string HotKeyName(unsigned vk, unsigned flags);

}  // namespace fw
