// The headless back end: windows that live in memory. Their placement (visibility, state,
// rectangle) and its notifications are fw/common's; the desktop adds the activation, the
// focus, painting, timers and the drags a test plays.
#include <algorithm>

#include "fw/app.h"
#include "fw/backend.h"
#include "fw/headless/desktop_state.h"

namespace fw::backend {

namespace {

using headless::detail::State;

void Raise(Native* n) { headless::detail::TopLevel(n)->raised = ++State().raiseSeq; }

void Activate(Native* n) {
    State().foreground = headless::detail::TopLevel(n);
    Raise(n);
}

void Deactivate(Native* n) {
    auto& d = State();
    if (d.foreground == headless::detail::TopLevel(n)) d.foreground = nullptr;
    if (d.focus == n) d.focus = nullptr;
}

}  // namespace

Native* CreateNative(Window& owner, const CreateParams& params) {
    Native* parent = params.parent && params.parent->IsWindow() ? params.parent->native() : nullptr;
    if ((params.style & kChild) && !parent) return nullptr;  // a child needs a parent
    auto* n = new Native();
    n->owner = &owner;
    n->handle = owner.handle();
    n->parent = parent;
    n->style = params.style;
    n->caption = params.caption;
    n->layered = (params.style & kLayered) != 0;
    n->raised = ++State().raiseSeq;
    State().all.push_back(n);
    return n;
}

void DestroyNative(Native* n) {
    if (!n) return;
    auto& d = State();
    // Children and owned pop-ups go with their parent, after the parent's WM_DESTROY.
    std::vector<Handle> dependents;
    for (Native* c : d.all) {
        if (c->parent == n) {
            c->parent = nullptr;
            dependents.push_back(c->handle);
        }
    }
    for (Handle h : dependents)
        if (Window* w = Window::FromHandle(h)) w->Destroy();
    headless::detail::ForgetNative(n);
    d.all.erase(std::remove(d.all.begin(), d.all.end(), n), d.all.end());
    delete n;
}

void Show(Native* n, ShowCmd cmd, const Placement& before) {
    (void)before;
    switch (fw::detail::ShowActivation(cmd)) {
    case fw::detail::Activation::Activate: Activate(n); break;
    case fw::detail::Activation::Deactivate: Deactivate(n); break;
    case fw::detail::Activation::Keep: break;
    }
}

void SetForeground(Native* n) { Activate(n); }
void SetFocus(Native* n) { State().focus = n; }

void SetPos(Native* n, const Rect& before, unsigned flags) {
    (void)before;
    if ((flags & kTopOfZOrder) && !(flags & kNoZOrder)) Raise(n);
}

std::vector<Handle> StackingOrder() {
    std::vector<Native*> tops;
    for (Native* n : State().all)
        if (n->listed && !n->IsChild()) tops.push_back(n);
    std::stable_sort(tops.begin(), tops.end(), [](Native* a, Native* b) { return a->raised < b->raised; });
    std::vector<Handle> order;
    for (Native* n : tops) order.push_back(n->handle);
    return order;
}

Handle FocusedTopLevel() { return State().foreground ? State().foreground->handle : kNoWindow; }

void SetCaption(Native* n, const std::string& text) { n->caption = text; }
void SetIcon(Native* n, const Image* icon) { n->hasIcon = icon && icon->valid(); }
void Invalidate(Native* n, const Rect* r) {
    (void)r;  // the whole window is painted again in any case
    n->dirty = true;
}

void UpdateNow(Native* n) {
    if (n->dirty && fw::detail::PlacementOf(*n->owner).visible && n->layeredUpdates == 0) headless::detail::Paint(n);
}

void UpdateLayered(Native* n, const Bitmap& picture) {
    n->layered = true;
    n->picture.CopyFrom(picture);
    ++n->layeredUpdates;
}

void SetCursor(Native* n, Cursor c) { n->cursor = c; }

void SetTimer(Native* n, unsigned id, unsigned ms) {
    auto& d = State();
    const unsigned interval = std::max(ms, 10u);  // the system's shortest period
    Timer t{id, interval, d.now + interval, ++d.timerSeq};
    for (Timer& old : n->timers) {
        if (old.id == id) {
            old = t;
            return;
        }
    }
    n->timers.push_back(t);
}

void KillTimer(Native* n, unsigned id) {
    std::erase_if(n->timers, [id](const Timer& t) { return t.id == id; });
}

void TrackMouseLeave(Native* n) {
    auto& d = State();
    if (d.hover == n) {
        n->trackingLeave = true;
        return;
    }
    // Not under the mouse: the leave comes at once, as TrackMouseEvent posts it.
    n->trackingLeave = false;
    Window::Post(n->handle, WM_MOUSELEAVE);
}

void ReleaseCapture(Native* n) { (void)n; }

void BeginMoveDrag(Native* n) {
    ++n->moveDrags;
    n->drag = DragKind::Move;
}

void BeginResizeDrag(Native* n, int hitCode) {
    ++n->resizeDrags;
    n->lastResizeHit = hitCode;
    n->drag = DragKind::Resize;
    n->dragHit = hitCode;
}

void Wakeup() {}  // tests pump themselves

void RunLoop() {
    // Until the quit, or until there is nothing left to do (nothing else could ever come:
    // the clock only moves when a test moves it).
    for (int round = 0; round < 1000000 && !QuitRequested(); ++round)
        if (headless::Pump(1) == 0) break;
}

void QuitLoop() {}

}  // namespace fw::backend
