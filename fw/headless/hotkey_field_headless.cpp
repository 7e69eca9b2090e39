// The hot-key field of the headless desktop: a child window that keeps the combination the
// client sets or the test "types".
#include <algorithm>
#include <vector>

#include "fw/headless/controls.h"
#include "fw/headless/desktop_state.h"
#include "fw/hotkey_field.h"

namespace fw {

namespace {

class HeadlessHotKeyField;

struct FieldRegistry {
    std::vector<HeadlessHotKeyField*> live;
    bool failNext = false;
};

FieldRegistry& Fields() {
    static FieldRegistry r;
    return r;
}

class HeadlessHotKeyField final : public HotKeyField {
public:
    HeadlessHotKeyField(std::string face, int pointSize) : face_(std::move(face)), pointSize_(pointSize) {
        Fields().live.push_back(this);
    }
    ~HeadlessHotKeyField() override { std::erase(Fields().live, this); }

    bool Make(Window& parent, int id, const Rect& rect) {
        CreateParams p;
        p.style = kChild | kVisible;
        p.parent = &parent;
        p.rect = rect;
        p.id = id;
        return window_.Create(p);
    }

    void SetHotKey(unsigned vk, unsigned flags) override {
        vk_ = vk & 0xFF;
        flags_ = flags & 0xFF;
    }
    void GetHotKey(unsigned& vk, unsigned& flags) const override {
        vk = vk_;
        flags = flags_;
    }
    // An empty combination reads "无", as the client names no key.
    std::string Text() const override {
        std::string t = HotKeyName(vk_, flags_);
        return t.empty() ? "无" : t;
    }
    void Focus() override { window_.SetFocus(); }

    const Window& window() const { return window_; }
    headless::HotKeyFieldInfo Info() const {
        headless::HotKeyFieldInfo info;
        info.vk = vk_;
        info.flags = flags_;
        info.text = Text();
        info.face = face_;
        info.pointSize = pointSize_;
        if (const backend::Native* n = window_.IsWindow() ? window_.native() : nullptr) {
            info.rect = n->placement().rect;
            info.visible = n->placement().visible;
            info.focused = headless::detail::State().focus == n;
        }
        return info;
    }

private:
    Window window_;
    std::string face_;
    int pointSize_;
    unsigned vk_ = 0;
    unsigned flags_ = 0;
};

HeadlessHotKeyField* FindField(const Window& parent, int id) {
    if (!parent.IsWindow()) return nullptr;
    for (HeadlessHotKeyField* f : Fields().live) {
        const Window& w = f->window();
        if (w.IsWindow() && w.parent() == &parent && w.id() == id) return f;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<HotKeyField> HotKeyField::Create(Window& parent, int id, const Rect& rect, const std::string& face,
                                                 int pointSize) {
    if (Fields().failNext) {
        Fields().failNext = false;
        return nullptr;
    }
    if (!parent.IsWindow()) return nullptr;
    auto field = std::make_unique<HeadlessHotKeyField>(face, pointSize);
    if (!field->Make(parent, id, rect)) return nullptr;
    return field;
}

}  // namespace fw

namespace fw::headless {

std::optional<HotKeyFieldInfo> FindHotKeyField(const Window& parent, int id) {
    const HeadlessHotKeyField* f = FindField(parent, id);
    if (!f) return std::nullopt;
    return f->Info();
}

bool TypeHotKey(const Window& parent, int id, unsigned vk, unsigned flags) {
    HeadlessHotKeyField* f = FindField(parent, id);
    if (!f) return false;
    f->SetHotKey(vk, flags);
    return true;
}

void FailNextHotKeyFieldCreation() { Fields().failNext = true; }

}  // namespace fw::headless
