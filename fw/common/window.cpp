// Portable window logic: handles, routing of messages to handlers, posting from any thread,
// and the placement of every window with the notifications of its changes (the rules are in
// window_state.cpp). The platform work is in the back end.
#include "fw/window.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "fw/app.h"
#include "fw/backend.h"
#include "fw/common/window_state.h"
#include "fw/system.h"
#include "fw/trace.h"

namespace fw {

namespace {

struct Registry {
    std::mutex m;                              // guards live and queue
    std::unordered_map<Handle, Window*> live;  // UI thread reads pointers; Post only tests presence
    std::deque<Msg> queue;
    Handle next = 1;
};

Registry& Reg() {
    static Registry* r = new Registry();  // never destroyed: workers may post during exit
    return *r;
}

// Hands out handles and keeps the registry of live windows.
Handle Register(Window* w) {
    auto& r = Reg();
    std::lock_guard<std::mutex> l(r.m);
    Handle h = r.next++;
    r.live[h] = w;
    return h;
}

void Unregister(Handle h) {
    auto& r = Reg();
    std::lock_guard<std::mutex> l(r.m);
    r.live.erase(h);
}

}  // namespace

struct WindowAccess {
    static detail::WindowState& State(const Window& w) { return *w.state_; }
};

namespace {

detail::WindowState& StateOf(const Window& w) { return WindowAccess::State(w); }

// The window's parent while both exist, for a child (kChild with a parent).
const Window* ChildParent(const Window& w) {
    if (!(w.style() & kChild) || !w.parent()) return nullptr;
    return Window::FromHandle(StateOf(w).parent);
}

// Where the window goes when maximised: the work area of the monitor it is on, or a child's
// parent client area.
Rect MaximizedRect(const Window& w) {
    if (const Window* p = ChildParent(w)) return p->GetClientRect();
    return MonitorWorkArea(w.GetWindowRect());
}

}  // namespace

namespace detail {

int DispatchPosted() {
    auto& r = Reg();
    std::deque<Msg> batch;
    {
        std::lock_guard<std::mutex> l(r.m);
        batch.swap(r.queue);
    }
    int n = 0;
    for (const Msg& m : batch) {
        Window* w = Window::FromHandle(m.hwnd);
        if (!w) continue;  // posted to no window: lost
        RouteInput(*w, m.message, m.wParam, m.lParam);
        ++n;
    }
    return n;
}

void DiscardPosted() {
    auto& r = Reg();
    std::lock_guard<std::mutex> l(r.m);
    r.queue.clear();
}

bool PreTranslated(Window& target, unsigned msg, WPARAM wp, LPARAM lp) {
    const Msg m{target.handle(), msg, wp, lp};
    // The target and then its ancestors get a chance to swallow it, as a modeless dialog
    // does for the keys of the control it hosts. A handler may destroy windows on the way,
    // so every step goes through handles.
    for (Handle h = target.handle(); h != kNoWindow;) {
        Window* w = Window::FromHandle(h);
        if (!w || w->PreTranslateMessage(m)) return true;
        Window* p = w->parent();
        h = p ? p->handle() : kNoWindow;
    }
    return false;
}

bool RouteControlKey(Window& owner, unsigned msg, WPARAM wp, LPARAM lp, const std::function<bool()>& translate) {
    const Handle h = owner.handle();
    if (PreTranslated(owner, msg, wp, lp)) return false;
    Window* w = Window::FromHandle(h);
    if (!w) return false;
    switch (w->KeyForControl(Msg{h, msg, wp, lp})) {
    case ControlKey::DispatchOnly: return Window::FromHandle(h) != nullptr;
    case ControlKey::TranslateOnly:
        if (translate) translate();
        return false;
    case ControlKey::TranslateThenDispatch:
        if (translate) translate();
        return Window::FromHandle(h) != nullptr;
    case ControlKey::Translate:
    default: return !(translate && translate()) && Window::FromHandle(h) != nullptr;
    }
}

bool RouteInput(Window& target, unsigned msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == detail::kTraceTickTimer) {
        // With the thread's scheduler times, so that a reader can tell what a gap was made of:
        // the UI thread running, waiting for a processor, or asleep.
        long long run = 0, wait = 0;
        char mark[64] = "ui-tick";
        if (ThreadSchedTimes(run, wait)) std::snprintf(mark, sizeof mark, "ui-tick %lld %lld", run, wait);
        TraceMark(mark);
        return false;
    }
    const Handle h = target.handle();
    if (PreTranslated(target, msg, wp, lp)) return false;
    Window* t = Window::FromHandle(h);
    if (!t) return false;
    t->WindowProc(msg, wp, lp);
    return true;
}

const backend::Placement& PlacementOf(const Window& w) { return StateOf(w).placement; }

void PlatformMoved(Window& w, const Rect& screen) {
    Rect r = screen;
    if (const Window* p = ChildParent(w)) {
        const Point o = p->GetWindowRect().TopLeft();
        r = r.Offset(-o.x, -o.y);
    }
    StateOf(w).placement.rect = r;
}

void PlatformStateChanged(Window& w, bool minimized, bool maximized) {
    auto& p = StateOf(w).placement;
    p = AfterPlatformState(p, minimized, maximized);
}

bool NotifyPlacement(Window& w, bool force) {
    if (!w.IsWindow()) return false;
    const Handle h = w.handle();
    WindowState& s = StateOf(w);
    const backend::Placement& p = s.placement;
    if (!p.minimized) {
        const Point pos = p.rect.TopLeft();
        if (force || pos != s.movePos) {
            s.movePos = pos;
            w.WindowProc(WM_MOVE, 0, MakePointParam(pos.x, pos.y));
            if (Window::FromHandle(h) != &w) return false;
        }
    }
    const unsigned type = p.minimized ? SIZE_MINIMIZED : p.maximized ? SIZE_MAXIMIZED : SIZE_RESTORED;
    const int cx = p.minimized ? 0 : p.rect.Width();
    const int cy = p.minimized ? 0 : p.rect.Height();
    if (force || type != s.sizeType || cx != s.sizeW || cy != s.sizeH) {
        s.sizeType = type;
        s.sizeW = cx;
        s.sizeH = cy;
        w.WindowProc(WM_SIZE, type, MakePointParam(cx, cy));
        if (Window::FromHandle(h) != &w) return false;
    }
    return true;
}

}  // namespace detail

Window::Window() : state_(std::make_unique<detail::WindowState>()) {}

Window::~Window() { Destroy(); }

Window* Window::FromHandle(Handle h) {
    if (h == kNoWindow) return nullptr;
    auto& r = Reg();
    std::lock_guard<std::mutex> l(r.m);
    auto it = r.live.find(h);
    return it == r.live.end() ? nullptr : it->second;
}

bool Window::Create(const CreateParams& params) {
    if (IsWindow()) return false;
    caption_ = params.caption;
    style_ = params.style;
    parent_ = params.parent;
    id_ = params.id;
    destroying_ = false;
    // A window starts as if it had been told of the rectangle it is made with.
    Rect r = params.rect;
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    auto& s = *state_;
    s = {};
    s.placement.rect = s.placement.normalRect = r;
    s.parent = parent_ ? parent_->handle() : kNoWindow;
    s.movePos = r.TopLeft();
    s.sizeW = r.Width();
    s.sizeH = r.Height();
    handle_ = Register(this);
    native_ = backend::CreateNative(*this, params);
    if (!native_) {
        Unregister(handle_);
        handle_ = kNoWindow;
        return false;
    }
    if (WindowProc(WM_CREATE, 0, 0) == -1) {
        Destroy();
        return false;
    }
    if ((params.style & kVisible) && IsWindow()) Show(ShowCmd::Show);
    return IsWindow();
}

void Window::Destroy() {
    if (!IsWindow() || destroying_) return;
    destroying_ = true;
    WindowProc(WM_DESTROY, 0, 0);
    Handle h = handle_;
    backend::Native* n = native_;
    native_ = nullptr;
    Unregister(h);
    handle_ = kNoWindow;
    backend::DestroyNative(n);
    destroying_ = false;
    if (MainWindow() == this) {
        SetMainWindow(nullptr);
        Quit(0);
    }
    OnNcDestroy();  // may delete this
}

void Window::Show(ShowCmd cmd) {
    if (!IsWindow()) return;
    const Handle h = handle_;
    auto& p = state_->placement;
    const bool willShow = cmd != ShowCmd::Hide;
    if (willShow && !p.visible && detail::DeferShowWhileHidden(*this)) return;
    if (p.visible != willShow) {
        WindowProc(WM_SHOWWINDOW, willShow ? 1 : 0, 0);
        if (Window::FromHandle(h) != this) return;
    }
    const backend::Placement before = p;
    p = detail::AfterShow(before, cmd, MaximizedRect(*this));
    backend::Show(native_, cmd, before);
    if (Window::FromHandle(h) == this) detail::NotifyPlacement(*this);
}

bool Window::IsVisible() const { return IsWindow() && state_->placement.visible; }
bool Window::IsMinimized() const { return IsWindow() && state_->placement.minimized; }
bool Window::IsMaximized() const { return IsWindow() && state_->placement.maximized; }
void Window::SetForeground() {
    if (IsWindow()) backend::SetForeground(native_);
}
void Window::SetFocus() {
    if (IsWindow()) backend::SetFocus(native_);
}

void Window::SetPos(const Rect& r, unsigned flags) {
    if (!IsWindow()) return;
    auto& p = state_->placement;
    const Rect before = p.rect;
    const int x = (flags & kNoMove) ? before.left : r.left;
    const int y = (flags & kNoMove) ? before.top : r.top;
    const int w = (flags & kNoSize) ? before.Width() : std::max(0, r.Width());
    const int h = (flags & kNoSize) ? before.Height() : std::max(0, r.Height());
    p.rect = Rect::FromXYWH(x, y, w, h);
    const bool raise = (flags & kTopOfZOrder) && !(flags & kNoZOrder);
    if (p.rect == before && !raise) return;
    const bool changed = p.rect != before;
    const Handle self = handle_;
    backend::SetPos(native_, before, flags);
    if (changed && Window::FromHandle(self) == this) detail::NotifyPlacement(*this);
}

Rect Window::GetRestoredRect() const {
    if (!IsWindow()) return {};
    const backend::Placement& p = state_->placement;
    if (p.maximized || (p.minimized && p.restoreToMaximized)) return p.normalRect;
    return GetWindowRect();
}

Rect Window::GetWindowRect() const {
    if (!IsWindow()) return {};
    const Rect r = state_->placement.rect;
    if (const Window* p = ChildParent(*this)) {
        const Point o = p->GetWindowRect().TopLeft();
        return r.Offset(o.x, o.y);
    }
    return r;
}

Rect Window::GetClientRect() const {
    Rect r = GetWindowRect();
    return {0, 0, r.Width(), r.Height()};
}

Point Window::ClientToScreen(Point p) const {
    Rect r = GetWindowRect();
    return {p.x + r.left, p.y + r.top};
}

Point Window::ScreenToClient(Point p) const {
    Rect r = GetWindowRect();
    return {p.x - r.left, p.y - r.top};
}

void Window::SetCaption(const std::string& text) {
    caption_ = text;
    if (IsWindow()) backend::SetCaption(native_, text);
}

void Window::SetIcon(const Image* icon) {
    if (IsWindow()) backend::SetIcon(native_, icon);
}
void Window::Invalidate(const Rect* r) {
    if (IsWindow()) backend::Invalidate(native_, r);
}
void Window::UpdateNow() {
    if (IsWindow()) backend::UpdateNow(native_);
}

void Window::UpdateLayered(const Bitmap& picture) {
    if (!IsWindow() || picture.width() <= 0 || picture.height() <= 0) return;
    style_ |= kLayered;
    const Handle self = handle_;
    backend::UpdateLayered(native_, picture);
    if (Window::FromHandle(self) != this) return;
    // The window takes the picture's size.
    const Rect r = state_->placement.rect;
    if (r.Width() != picture.width() || r.Height() != picture.height())
        SetPos(Rect::FromXYWH(r.left, r.top, picture.width(), picture.height()), kNoMove | kNoZOrder);
}

void Window::SetCursor(Cursor c) {
    if (IsWindow()) backend::SetCursor(native_, c);
}

void Window::SetTimer(unsigned id, unsigned ms) {
    if (IsWindow()) backend::SetTimer(native_, id, ms);
}
void Window::KillTimer(unsigned id) {
    if (IsWindow()) backend::KillTimer(native_, id);
}
void Window::TrackMouseLeave() {
    if (IsWindow()) backend::TrackMouseLeave(native_);
}
void Window::ReleaseCapture() {
    if (IsWindow()) backend::ReleaseCapture(native_);
}

LRESULT Window::Send(unsigned msg, WPARAM wp, LPARAM lp) {
    if (!IsWindow()) return 0;
    return WindowProc(msg, wp, lp);
}

bool Window::Post(Handle h, unsigned msg, WPARAM wp, LPARAM lp) {
    auto& r = Reg();
    {
        std::lock_guard<std::mutex> l(r.m);
        if (r.live.find(h) == r.live.end()) return false;
        r.queue.push_back(Msg{h, msg, wp, lp});
    }
    backend::Wakeup();
    return true;
}

void Window::PaintInto(Bitmap& backBuffer) {
    Canvas c(backBuffer);
    OnPaint(c);
}

void Window::DefSysCommand(unsigned cmd, LPARAM lp) {
    (void)lp;
    if (!IsWindow()) return;
    unsigned base = cmd & 0xFFF0;
    if (cmd == SC_DRAGMOVE || base == SC_MOVE) {
        backend::BeginMoveDrag(native_);
    } else if (base == SC_SIZE) {
        int side = static_cast<int>(cmd & 0xF);
        // SC_SIZE + side: 1 left, 2 right, 3 top, 4 top-left, 5 top-right, 6 bottom,
        // 7 bottom-left, 8 bottom-right; the back end wants the hit-test code.
        static const int kHit[9] = {HTNOWHERE,  HTLEFT,   HTRIGHT,      HTTOP,        HTTOPLEFT,
                                    HTTOPRIGHT, HTBOTTOM, HTBOTTOMLEFT, HTBOTTOMRIGHT};
        if (side >= 1 && side <= 8) backend::BeginResizeDrag(native_, kHit[side]);
    } else if (base == SC_MINIMIZE) {
        Show(ShowCmd::Minimize);
    } else if (base == SC_MAXIMIZE) {
        Show(ShowCmd::Maximize);
    } else if (base == SC_RESTORE) {
        Show(ShowCmd::Restore);
    } else if (base == SC_CLOSE) {
        Send(WM_CLOSE);
    }
}

void Window::OnNcLButtonDown(int hit, Point screen) {
    (void)screen;
    if (hit == HTCAPTION) {
        DefSysCommand(SC_DRAGMOVE, 0);
        return;
    }
    static const struct {
        int hit;
        unsigned side;
    } kSides[] = {{HTLEFT, 1},     {HTRIGHT, 2},  {HTTOP, 3},        {HTTOPLEFT, 4},
                  {HTTOPRIGHT, 5}, {HTBOTTOM, 6}, {HTBOTTOMLEFT, 7}, {HTBOTTOMRIGHT, 8}};
    for (auto& s : kSides)
        if (s.hit == hit) DefSysCommand(SC_SIZE + s.side, 0);
}

bool Window::OnSetCursor(int hit) {
    (void)hit;
    SetCursor(Cursor::Arrow);
    return true;
}

LRESULT Window::WindowProc(unsigned msg, WPARAM wp, LPARAM lp) {
    Point p{PointParamX(lp), PointParamY(lp)};
    switch (msg) {
    case WM_CREATE: return OnCreate();
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_CLOSE: OnClose(); return 0;
    case WM_MOUSEMOVE: OnMouseMove(p); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(p); return 0;
    case WM_LBUTTONUP: OnLButtonUp(p); return 0;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(p); return 0;
    case WM_RBUTTONDOWN: OnRButtonDown(p); return 0;
    case WM_MOUSELEAVE: OnMouseLeave(); return 0;
    case WM_KEYDOWN: OnKeyDown(static_cast<unsigned>(wp), false); return 0;
    case WM_SYSKEYDOWN: OnKeyDown(static_cast<unsigned>(wp), true); return 0;
    case WM_MOVE: OnMove(p); return 0;
    case WM_SIZE: OnSize(static_cast<unsigned>(wp), PointParamX(lp) & 0xFFFF, PointParamY(lp) & 0xFFFF); return 0;
    case WM_SHOWWINDOW: OnShowWindow(wp != 0); return 0;
    case WM_HOTKEY: OnHotKey(static_cast<int>(wp)); return 0;
    case WM_TIMER: OnTimer(static_cast<unsigned>(wp)); return 0;
    case WM_COMMAND: OnCommand(static_cast<unsigned>(wp & 0xFFFF)); return 0;
    case WM_SYSCOMMAND: OnSysCommand(static_cast<unsigned>(wp), lp); return 0;
    case WM_NCHITTEST: return OnNcHitTest(p);
    case WM_NCLBUTTONDOWN: OnNcLButtonDown(static_cast<int>(wp), p); return 0;
    case WM_SETCURSOR: return OnSetCursor(static_cast<int>(lp & 0xFFFF)) ? 1 : 0;
    case WM_GETMINMAXINFO: {
        auto* s = reinterpret_cast<Size*>(lp);
        if (s) OnGetMinMaxInfo(*s);
        return 0;
    }
    default: return OnMessage(msg, wp, lp);
    }
}

}  // namespace fw
