// The headless back end: windows that live in memory. Showing, moving and sizing behave as
// on Windows, including the WM_MOVE and WM_SIZE notifications that a change of the
// rectangle sends synchronously to the window.
#include <algorithm>

#include "fw/app.h"
#include "fw/backend.h"
#include "fw/headless/desktop_state.h"

namespace fw::backend {

namespace {

using headless::detail::State;

bool Alive(Handle h, const Window* w) { return Window::FromHandle(h) == w; }

// Sends a message straight to the window procedure, as SendMessage does. False when the
// window went away while handling it.
bool SendTo(Native* n, unsigned msg, WPARAM wp, LPARAM lp) {
    Window* w = n->owner;
    Handle h = n->handle;
    if (!Alive(h, w)) return false;
    w->WindowProc(msg, wp, lp);
    return Alive(h, w);
}

LPARAM SizeParam(int cx, int cy) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(cy & 0xFFFF) << 16) |
                               static_cast<std::uint32_t>(cx & 0xFFFF));
}

unsigned RestingSizeType(const Native* n) {
    return n->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED;
}

// Changes the rectangle and tells the window: WM_MOVE when the position changed, then
// WM_SIZE when the size changed (or always, with forceSize, for a change of state).
// False when the window went away on the way.
bool ApplyRect(Native* n, const Rect& r, unsigned sizeType, bool forceSize) {
    const Rect old = n->rect;
    n->rect = r;
    if (old.TopLeft() != r.TopLeft() &&
        !SendTo(n, WM_MOVE, 0, MakePointParam(r.left, r.top)))
        return false;
    if ((forceSize || old.Width() != r.Width() || old.Height() != r.Height()) &&
        !SendTo(n, WM_SIZE, sizeType, SizeParam(r.Width(), r.Height())))
        return false;
    return true;
}

Rect MaximizedRect(const Native* n) {
    if (n->IsChild()) {
        const Rect p = n->parent->rect;
        return {0, 0, p.Width(), p.Height()};
    }
    return State().work;
}

void Activate(Native* n) { State().foreground = headless::detail::TopLevel(n); }

void Deactivate(Native* n) {
    auto& d = State();
    if (d.foreground == headless::detail::TopLevel(n)) d.foreground = nullptr;
    if (d.focus == n) d.focus = nullptr;
}

// Back from minimised or maximised to the resting state (minimised goes back to maximised
// when it was maximised before).
void RestoreState(Native* n) {
    if (n->minimized) {
        n->minimized = false;
        n->maximized = n->maximizedBeforeMinimize;
        n->maximizedBeforeMinimize = false;
        ApplyRect(n, n->rect, RestingSizeType(n), true);
    } else if (n->maximized) {
        n->maximized = false;
        ApplyRect(n, n->restoreRect, SIZE_RESTORED, true);
    }
}

void MinimizeState(Native* n) {
    if (n->minimized) return;
    n->maximizedBeforeMinimize = n->maximized;
    n->maximized = false;
    n->minimized = true;
    SendTo(n, WM_SIZE, SIZE_MINIMIZED, 0);
}

void MaximizeState(Native* n) {
    const bool wasMaximized = n->maximized || (n->minimized && n->maximizedBeforeMinimize);
    if (!wasMaximized) n->restoreRect = n->rect;
    n->minimized = false;
    n->maximizedBeforeMinimize = false;
    n->maximized = true;
    ApplyRect(n, MaximizedRect(n), SIZE_MAXIMIZED, true);
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
    n->rect = params.rect;
    if (n->rect.right < n->rect.left) n->rect.right = n->rect.left;
    if (n->rect.bottom < n->rect.top) n->rect.bottom = n->rect.top;
    n->restoreRect = n->rect;
    n->caption = params.caption;
    n->layered = (params.style & kLayered) != 0;
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

void Show(Native* n, ShowCmd cmd) {
    switch (cmd) {
    case ShowCmd::Hide:
        n->visible = false;
        Deactivate(n);
        break;
    case ShowCmd::Show:
        n->visible = true;
        Activate(n);
        break;
    case ShowCmd::ShowNoActivate:
        n->visible = true;
        RestoreState(n);
        break;
    case ShowCmd::ShowNormal:
    case ShowCmd::Restore:
        n->visible = true;
        Activate(n);
        RestoreState(n);
        break;
    case ShowCmd::ShowMinimized:
    case ShowCmd::Minimize:
        n->visible = true;
        Deactivate(n);
        MinimizeState(n);
        break;
    case ShowCmd::Maximize:
        n->visible = true;
        Activate(n);
        MaximizeState(n);
        break;
    }
}

bool IsVisible(const Native* n) { return n->visible; }
bool IsMinimized(const Native* n) { return n->minimized; }
bool IsMaximized(const Native* n) { return n->maximized; }
void SetForeground(Native* n) { Activate(n); }
void SetFocus(Native* n) { State().focus = n; }

void SetPos(Native* n, const Rect& r, unsigned flags) {
    const int x = (flags & kNoMove) ? n->rect.left : r.left;
    const int y = (flags & kNoMove) ? n->rect.top : r.top;
    const int w = (flags & kNoSize) ? n->rect.Width() : std::max(0, r.Width());
    const int h = (flags & kNoSize) ? n->rect.Height() : std::max(0, r.Height());
    ApplyRect(n, Rect::FromXYWH(x, y, w, h), RestingSizeType(n), false);
}

Rect WindowRect(const Native* n) {
    if (n->IsChild()) {
        const Rect p = WindowRect(n->parent);
        return n->rect.Offset(p.left, p.top);
    }
    return n->rect;
}

void SetParent(Native* n, Native* parent) {
    for (Native* p = parent; p; p = p->parent)
        if (p == n) return;  // would make a cycle
    n->parent = parent;
}

void SetCaption(Native* n, const std::string& text) { n->caption = text; }
void SetIcon(Native* n, const Image* icon) { n->hasIcon = icon && icon->valid(); }
void Invalidate(Native* n, const Rect* r) {
    (void)r;  // the whole window is painted again in any case
    n->dirty = true;
}

void UpdateNow(Native* n) {
    if (n->dirty && n->visible && n->layeredUpdates == 0) headless::detail::Paint(n);
}

void UpdateLayered(Native* n, const Bitmap& picture) {
    n->layered = true;
    n->picture.CopyFrom(picture);
    ++n->layeredUpdates;
    const Rect r = Rect::FromXYWH(n->rect.left, n->rect.top, picture.width(), picture.height());
    if (r != n->rect) ApplyRect(n, r, RestingSizeType(n), false);
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
