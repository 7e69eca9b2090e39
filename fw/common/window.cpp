// Portable window logic: handles, routing of messages to handlers, posting from any thread,
// and the show notification. The platform work is in the back end.
#include "fw/window.h"

#include <deque>
#include <mutex>
#include <unordered_map>

#include "fw/app.h"
#include "fw/backend.h"

namespace fw {

namespace {

struct Registry {
    std::mutex m;                                  // guards live and queue
    std::unordered_map<Handle, Window*> live;      // UI thread reads pointers; Post only tests presence
    std::deque<Msg> queue;
    Handle next = 1;
};

Registry& Reg() {
    static Registry* r = new Registry();  // never destroyed: workers may post during exit
    return *r;
}

}  // namespace

namespace detail {

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
        if (QuitRequested()) {
            // Keep what is left for a later loop (none will come; the process is ending).
        }
    }
    return n;
}

void DiscardPosted() {
    auto& r = Reg();
    std::lock_guard<std::mutex> l(r.m);
    r.queue.clear();
}

bool RouteInput(Window& target, unsigned msg, WPARAM wp, LPARAM lp) {
    Msg m{target.handle(), msg, wp, lp};
    // The target and then its ancestors get a chance to swallow it, as a modeless dialog
    // does for the keys of the control it hosts. A handler may destroy windows on the way,
    // so every step goes through handles.
    Handle h = target.handle();
    while (h != kNoWindow) {
        Window* w = Window::FromHandle(h);
        if (!w) return false;
        if (w->PreTranslateMessage(m)) return false;
        Window* p = w->parent();
        h = p ? p->handle() : kNoWindow;
    }
    Window* t = Window::FromHandle(m.hwnd);
    if (!t) return false;
    t->WindowProc(msg, wp, lp);
    return true;
}

}  // namespace detail

Window::Window() = default;

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
    handle_ = detail::Register(this);
    native_ = backend::CreateNative(*this, params);
    if (!native_) {
        detail::Unregister(handle_);
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
    detail::Unregister(h);
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
    bool wasVisible = backend::IsVisible(native_);
    bool willShow = cmd != ShowCmd::Hide;
    if (wasVisible != willShow) {
        WindowProc(WM_SHOWWINDOW, willShow ? 1 : 0, 0);
        if (!IsWindow()) return;
    }
    backend::Show(native_, cmd);
}

bool Window::IsVisible() const { return IsWindow() && backend::IsVisible(native_); }
bool Window::IsMinimized() const { return IsWindow() && backend::IsMinimized(native_); }
bool Window::IsMaximized() const { return IsWindow() && backend::IsMaximized(native_); }
void Window::SetForeground() { if (IsWindow()) backend::SetForeground(native_); }
void Window::SetFocus() { if (IsWindow()) backend::SetFocus(native_); }

void Window::SetPos(const Rect& r, unsigned flags) {
    if (IsWindow()) backend::SetPos(native_, r, flags);
}

Rect Window::GetWindowRect() const { return IsWindow() ? backend::WindowRect(native_) : Rect{}; }

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

void Window::SetParent(Window* parent) {
    parent_ = parent;
    if (IsWindow()) backend::SetParent(native_, parent && parent->IsWindow() ? parent->native_ : nullptr);
}

void Window::SetCaption(const std::string& text) {
    caption_ = text;
    if (IsWindow()) backend::SetCaption(native_, text);
}

void Window::SetIcon(const Image* icon) { if (IsWindow()) backend::SetIcon(native_, icon); }
void Window::Invalidate(const Rect* r) { if (IsWindow()) backend::Invalidate(native_, r); }
void Window::UpdateNow() { if (IsWindow()) backend::UpdateNow(native_); }

void Window::UpdateLayered(const Bitmap& picture) {
    if (!IsWindow()) return;
    style_ |= kLayered;
    backend::UpdateLayered(native_, picture);
}

void Window::SetCursor(Cursor c) {
    cursor_ = c;
    if (IsWindow()) backend::SetCursor(native_, c);
}

void Window::SetTimer(unsigned id, unsigned ms) { if (IsWindow()) backend::SetTimer(native_, id, ms); }
void Window::KillTimer(unsigned id) { if (IsWindow()) backend::KillTimer(native_, id); }
void Window::TrackMouseLeave() { if (IsWindow()) backend::TrackMouseLeave(native_); }
void Window::ReleaseCapture() { if (IsWindow()) backend::ReleaseCapture(native_); }

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
        static const int kHit[9] = {HTNOWHERE, HTLEFT, HTRIGHT, HTTOP, HTTOPLEFT,
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
    static const struct { int hit; unsigned side; } kSides[] = {
        {HTLEFT, 1}, {HTRIGHT, 2}, {HTTOP, 3}, {HTTOPLEFT, 4}, {HTTOPRIGHT, 5},
        {HTBOTTOM, 6}, {HTBOTTOMLEFT, 7}, {HTBOTTOMRIGHT, 8}};
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
