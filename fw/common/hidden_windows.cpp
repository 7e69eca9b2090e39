// Hiding every window of the program and bringing each back as it was.
#include "fw/hidden_windows.h"

#include <algorithm>

#include "fw/backend.h"

namespace fw {

namespace {

std::vector<Handle> g_hidden;    // hidden by a set not restored yet
std::vector<Handle> g_deferred;  // pop-ups that asked to show meanwhile

bool HiddenBySet(Handle h) { return std::find(g_hidden.begin(), g_hidden.end(), h) != g_hidden.end(); }

}  // namespace

namespace detail {

// A pop-up whose owner is hidden by a set (a page window whose page finished loading while the
// boss key hides the game) waits for the set's return instead of showing on its own.
bool DeferShowWhileHidden(Window& w) {
    if (g_hidden.empty() || (w.style() & kChild)) return false;
    for (Window* owner = w.parent(); owner; owner = owner->parent()) {
        if (!HiddenBySet(owner->handle())) continue;
        if (std::find(g_deferred.begin(), g_deferred.end(), w.handle()) == g_deferred.end())
            g_deferred.push_back(w.handle());
        return true;
    }
    return false;
}

}  // namespace detail

HiddenWindows HiddenWindows::HideAll() {
    HiddenWindows set;
    set.focus_ = backend::FocusedTopLevel();
    for (Handle h : backend::StackingOrder()) {
        Window* w = Window::FromHandle(h);
        if (w && w->IsVisible()) set.windows_.push_back(h);
    }
    g_hidden.insert(g_hidden.end(), set.windows_.begin(), set.windows_.end());
    // Top first, so that no window of ours comes to the top (or takes the focus) on the way.
    for (auto it = set.windows_.rbegin(); it != set.windows_.rend(); ++it)
        if (Window* w = Window::FromHandle(*it)) w->Show(ShowCmd::Hide);
    return set;
}

void HiddenWindows::Add(HiddenWindows later) {
    for (Handle h : later.windows_) {
        std::erase(windows_, h);
        windows_.push_back(h);
    }
    if (!later.windows_.empty()) focus_ = later.focus_;
}

void HiddenWindows::Restore() {
    std::vector<Handle> windows;
    windows.swap(windows_);
    const Handle focus = focus_;
    focus_ = kNoWindow;
    std::erase_if(g_hidden, [&](Handle h) { return std::find(windows.begin(), windows.end(), h) != windows.end(); });
    // The pop-ups that waited come above the windows they belong to.
    std::vector<Handle> waited;
    std::erase_if(g_deferred, [&](Handle h) {
        Window* w = Window::FromHandle(h);
        for (Window* o = w ? w->parent() : nullptr; o; o = o->parent()) {
            if (HiddenBySet(o->handle())) return false;  // its owner is still hidden by another set
        }
        waited.push_back(h);
        return true;
    });
    windows.insert(windows.end(), waited.begin(), waited.end());
    // The bottom one first: each window shown comes above those shown before it, in the state
    // it was hidden in (minimised, maximised or normal).
    Window* focused = nullptr;
    for (Handle h : windows) {
        Window* w = Window::FromHandle(h);
        if (!w || w->IsVisible()) continue;
        w->Show(ShowCmd::ShowNA);
        if (Window::FromHandle(h) != w) continue;
        // A system that shows a window again where it was in the order (Windows does) gets the
        // order said: to the top, each after those below it.
        w->SetPos({}, kNoMove | kNoSize | kTopOfZOrder);
        if (h == focus) focused = w;
    }
    if (focused && !focused->IsMinimized()) focused->SetForeground();
}

}  // namespace fw
