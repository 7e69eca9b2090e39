// The portable part of the modal loops: which loops run, whose input they take away, and
// what RunModal answers. The nested loop itself is the back end's (fw/backend.h).
#include <algorithm>
#include <vector>

#include "fw/dialog.h"
#include "fw/backend.h"

namespace fw {

namespace {

struct ModalLoop {
    Handle dlg = kNoWindow;
    Handle owner = kNoWindow;  // the top-level window that takes no input meanwhile
    bool ended = false;
    int result = -1;
};

// Running loops, innermost last. UI thread only.
std::vector<ModalLoop*>& Loops() {
    static std::vector<ModalLoop*> loops;
    return loops;
}

// A modal pop-up takes the input of its owner's top-level window, children included.
Window* TopLevelOf(Window* w) {
    while (w && (w->style() & kChild) && w->parent()) w = w->parent();
    return w && w->IsWindow() ? w : nullptr;
}

ModalLoop* Innermost(Handle dlg) {
    auto& loops = Loops();
    for (auto it = loops.rbegin(); it != loops.rend(); ++it)
        if ((*it)->dlg == dlg) return *it;
    return nullptr;
}

}  // namespace

int RunModal(Window& dlg) {
    if (!dlg.IsWindow()) return -1;
    const Handle h = dlg.handle();
    if (Innermost(h)) return -1;  // a window runs one modal loop at a time
    Window* owner = TopLevelOf(dlg.parent());
    if (owner && owner->handle() == h) owner = nullptr;

    ModalLoop loop;
    loop.dlg = h;
    loop.owner = owner ? owner->handle() : kNoWindow;
    Loops().push_back(&loop);

    dlg.Show(ShowCmd::Show);
    // Handlers run on the way may destroy the dialog, and the object with it: from here on
    // it is reached through its handle only.
    if (Window* d = Window::FromHandle(h)) d->SetForeground();
    if (Window* d = Window::FromHandle(h); d && !loop.ended) backend::RunModalLoop(*d, loop.ended);

    auto& loops = Loops();
    loops.erase(std::remove(loops.begin(), loops.end(), &loop), loops.end());

    // As a dialog that ends: it hides, and its owner takes input and the activation again.
    if (Window* d = Window::FromHandle(h)) d->Show(ShowCmd::Hide);
    if (Window* o = Window::FromHandle(loop.owner); o && o->IsVisible() && !IsDisabled(*o)) o->SetForeground();
    return loop.ended ? loop.result : -1;
}

void EndModal(Window& dlg, int result) {
    if (!dlg.IsWindow()) return;
    ModalLoop* loop = Innermost(dlg.handle());
    if (!loop) return;
    loop->ended = true;
    loop->result = result;
    backend::WakeModalLoop();
}

bool IsModalRunning(const Window& dlg) {
    if (!dlg.IsWindow()) return false;
    const ModalLoop* loop = Innermost(dlg.handle());
    return loop && !loop->ended;
}

bool IsDisabled(const Window& w) {
    if (!w.IsWindow()) return false;
    const Window* top = &w;
    while ((top->style() & kChild) && top->parent() && top->parent()->IsWindow()) top = top->parent();
    for (const ModalLoop* loop : Loops())
        if (loop->owner == top->handle()) return true;
    return false;
}

}  // namespace fw
