// Tool tips of the headless desktop: each window's tip is a record of its text, where it
// was asked to show and whether it is up, for tests to read (desktop_extra.h).
#include <map>

#include "fw/headless/desktop_extra.h"
#include "fw/tooltip.h"

namespace fw {

namespace {

struct Tip {
    std::string text;
    Point at{};
    bool visible = false;
};

std::map<Handle, Tip>& Tips() {
    static std::map<Handle, Tip> tips;
    return tips;
}

// Handles are never reused: tips of windows that are gone are dropped for good.
void DropDeadTips() {
    std::erase_if(Tips(), [](const auto& kv) { return Window::FromHandle(kv.first) == nullptr; });
}

bool OnScreen(const Window& w) { return w.IsWindow() && w.IsVisible() && !w.IsMinimized(); }

// The window's tip as it stands now. A window that is gone or not to be seen has no tip up;
// it stays down after the window shows again, as a tip hidden with its window does.
Tip* Find(const Window& w) {
    if (!w.IsWindow()) return nullptr;
    auto it = Tips().find(w.handle());
    if (it == Tips().end()) return nullptr;
    if (!OnScreen(w)) it->second.visible = false;
    return &it->second;
}

}  // namespace

void ShowTooltip(Window& w, const std::string& text, Point client) {
    DropDeadTips();
    if (!w.IsWindow()) return;
    if (text.empty() || !OnScreen(w)) {
        HideTooltip(w);
        return;
    }
    Tip& t = Tips()[w.handle()];
    t.text = text;
    t.at = client;
    t.visible = true;
}

void HideTooltip(Window& w) {
    if (Tip* t = Find(w)) t->visible = false;
}

bool TooltipVisible(const Window& w) {
    const Tip* t = Find(w);
    return t && t->visible;
}

}  // namespace fw

namespace fw::headless {

std::string TooltipText(const Window& w) {
    const Tip* t = Find(w);
    return t && t->visible ? t->text : std::string();
}

Point TooltipPoint(const Window& w) {
    const Tip* t = Find(w);
    return t ? t->at : Point{};
}

}  // namespace fw::headless
