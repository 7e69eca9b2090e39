// The headless desktop's test controls: reset, the message pump and the clock, simulated
// input, and what tests read about the windows.
#include <algorithm>

#include "fw/app.h"
#include "fw/dialog.h"
#include "fw/headless/desktop_state.h"
#include "fw/headless/modal.h"
#include "fw/headless/services.h"
#include "fw/system.h"

namespace fw::headless {

namespace detail {

Desktop& State() {
    static auto* d = new Desktop();
    return *d;
}

backend::Native* TopLevel(backend::Native* n) {
    while (n && n->IsChild()) n = n->parent;
    return n;
}

Bitmap Paint(backend::Native* n) {
    const Rect r = n->owner->GetWindowRect();
    Bitmap b(r.Width(), r.Height());
    n->dirty = false;
    n->owner->PaintInto(b);
    return b;
}

int FireDueTimers() {
    auto& d = State();
    struct Due {
        std::uint64_t due, seq;
        Handle wnd;
        unsigned id;
    };
    std::vector<Due> due;
    for (backend::Native* n : d.all) {
        if (!n->listed) continue;
        for (const backend::Timer& t : n->timers)
            if (t.due <= d.now) due.push_back({t.due, t.seq, n->handle, t.id});
    }
    std::sort(due.begin(), due.end(),
              [](const Due& a, const Due& b) { return a.due != b.due ? a.due < b.due : a.seq < b.seq; });
    int fired = 0;
    for (const Due& f : due) {
        Window* w = Window::FromHandle(f.wnd);
        if (!w || !w->native()) continue;
        auto& timers = w->native()->timers;
        auto it = std::find_if(timers.begin(), timers.end(), [&](const backend::Timer& t) { return t.id == f.id; });
        if (it == timers.end() || it->due > d.now) continue;  // killed or set again meanwhile
        // One WM_TIMER however late it is, as the system does.
        it->due += it->interval;
        if (it->due <= d.now) it->due = d.now + it->interval;
        fw::detail::RouteInput(*w, WM_TIMER, f.id, 0);
        ++fired;
    }
    return fired;
}

void ForgetNative(backend::Native* n) {
    auto& d = State();
    if (d.foreground == n) d.foreground = nullptr;
    if (d.focus == n) d.focus = nullptr;
    if (d.hover == n) d.hover = nullptr;
    ForgetHotKeyGroups(n->handle);
    std::erase_if(d.hotKeys, [&](const HotKeyReg& r) { return r.wnd == n->handle; });
    std::erase_if(d.tray, [&](const TrayIcon& t) { return t.wnd == n->handle; });
}

}  // namespace detail

namespace {

using backend::Native;
using detail::State;

Native* NativeOf(const Window& w) { return w.IsWindow() ? w.native() : nullptr; }

bool Alive(Handle h) { return Window::FromHandle(h) != nullptr; }

// Paints the invalidated windows, as the system does when the queue is empty.
bool PaintInvalidated() {
    bool painted = false;
    std::vector<Handle> dirty;
    for (Native* n : State().all)
        if (n->listed && n->dirty && n->placement().visible && n->layeredUpdates == 0) dirty.push_back(n->handle);
    for (Handle h : dirty) {
        Window* w = Window::FromHandle(h);
        if (!w || !w->native() || !w->native()->dirty) continue;
        detail::Paint(w->native());
        painted = true;
    }
    return painted;
}

// The mouse is now over `over` (null: over no window of ours). The window that asked for
// a leave notification and is no longer under the mouse gets WM_MOUSELEAVE.
void SetHover(Native* over) {
    auto& d = State();
    Native* old = d.hover;
    d.hover = over;
    if (old && old != over && old->trackingLeave) {
        old->trackingLeave = false;
        if (Window* w = Window::FromHandle(old->handle)) fw::detail::RouteInput(*w, WM_MOUSELEAVE, 0, 0);
    }
}

// Where on the window the mouse is; false when the window went away meanwhile.
bool HitTest(Window& w, Point screen, int& hit) {
    const Handle h = w.handle();
    hit = static_cast<int>(w.Send(WM_NCHITTEST, 0, MakePointParam(screen.x, screen.y)));
    return Alive(h);
}

// Common start of every mouse event: the cursor moves there, the hover follows. Answers
// whether the point lies in the window.
bool MouseAt(Window& w, Point p) {
    Native* n = NativeOf(w);
    if (!n) return false;
    State().cursor = w.ClientToScreen(p);
    const bool inside = w.GetClientRect().Contains(p);
    SetHover(inside ? n : nullptr);
    return inside && w.IsWindow();
}

std::uint32_t MouseKeys(bool left) { return left ? 0x0001u : 0u; }  // MK_LBUTTON

bool EndDrag() {
    bool ended = false;
    for (Native* n : State().all) {
        if (n->drag != backend::DragKind::None) {
            n->drag = backend::DragKind::None;
            ended = true;
        }
    }
    return ended;
}

void Button(Window& w, Point p, unsigned clientMsg, unsigned ncMsg, bool leftDown) {
    if (!MouseAt(w, p)) return;
    const Point screen = w.ClientToScreen(p);
    int hit = HTCLIENT;
    if (!HitTest(w, screen, hit)) return;
    if (hit == HTCLIENT) {
        fw::detail::RouteInput(w, clientMsg, MouseKeys(leftDown), MakePointParam(p.x, p.y));
    } else if (ncMsg != WM_NULL) {
        fw::detail::RouteInput(w, ncMsg, static_cast<WPARAM>(hit), MakePointParam(screen.x, screen.y));
    }
}

}  // namespace

void Reset() {
    auto& d = State();
    for (Native* n : d.all) {
        n->listed = false;  // still alive; its own Destroy frees it
        n->timers.clear();
        n->trackingLeave = false;
        n->drag = backend::DragKind::None;
    }
    d.now = 0;
    d.timerSeq = 0;
    d.monitors = {{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}};
    d.foreground = d.focus = d.hover = nullptr;
    d.cursor = {};
    d.leftButtonDown = false;
    d.hotKeys.clear();
    d.takenHotKeys.clear();
    d.hotKeyGroups.clear();
    d.pagesMuted = false;
    d.messageBoxAnswers.clear();
    d.messageBoxes.clear();
    d.messageBoxHook = nullptr;
    d.shellOpens.clear();
    d.tray.clear();
    d.lastMenu.reset();
    fw::detail::DiscardPosted();
    fw::detail::ResetApp();
    fw::detail::ResetPageOpens();
    ResetModal();
    ResetGameServices();
    backend::InstallFontAliases();
}

void SetScreen(Size screen, Rect workArea) { State().monitors = {{Rect{0, 0, screen.cx, screen.cy}, workArea}}; }

void SetMonitors(std::vector<Monitor> monitors) {
    if (!monitors.empty()) State().monitors = std::move(monitors);
}

int Pump(int maxRounds) {
    int delivered = 0;
    for (int round = 0; round < maxRounds; ++round) {
        int n = fw::detail::DispatchPosted();
        n += detail::FireDueTimers();
        delivered += n;
        if (n == 0 && !PaintInvalidated()) break;
    }
    return delivered;
}

void AdvanceClock(unsigned ms) {
    auto& d = State();
    const std::uint64_t target = d.now + ms;
    Pump();
    for (;;) {
        // The next timer due up to the target time.
        std::uint64_t next = target + 1;
        for (Native* n : d.all) {
            if (!n->listed) continue;
            for (const backend::Timer& t : n->timers) next = std::min(next, t.due);
        }
        if (next > target || next <= d.now) break;  // (a timer still due now cannot fire)
        d.now = next;
        Pump();
    }
    d.now = target;
    Pump();
}

std::uint64_t NowMs() { return State().now; }

void MouseMove(Window& w, Point p) {
    if (fw::IsDisabled(w)) return;  // a window under a modal loop takes no input
    if (!MouseAt(w, p)) return;
    const Handle h = w.handle();
    const Point screen = w.ClientToScreen(p);
    int hit = HTCLIENT;
    if (!HitTest(w, screen, hit)) return;
    w.Send(WM_SETCURSOR, static_cast<WPARAM>(h),
           static_cast<LPARAM>((static_cast<std::uint32_t>(WM_MOUSEMOVE) << 16) | static_cast<std::uint16_t>(hit)));
    if (!Alive(h) || hit != HTCLIENT) return;
    fw::detail::RouteInput(w, WM_MOUSEMOVE, MouseKeys(State().leftButtonDown), MakePointParam(p.x, p.y));
}

void LButtonDown(Window& w, Point p) {
    if (fw::IsDisabled(w)) return;
    State().leftButtonDown = true;
    if (Native* n = NativeOf(w)) backend::SetForeground(n);  // a click activates
    Button(w, p, WM_LBUTTONDOWN, WM_NCLBUTTONDOWN, true);
}

void LButtonUp(Window& w, Point p) {
    State().leftButtonDown = false;
    if (fw::IsDisabled(w)) return;
    // A move or size drag ends with the button; the system's drag loop takes the release.
    if (EndDrag()) {
        MouseAt(w, p);
        return;
    }
    Button(w, p, WM_LBUTTONUP, WM_NULL, false);
}

void LButtonDblClk(Window& w, Point p) {
    if (fw::IsDisabled(w)) return;
    Button(w, p, WM_LBUTTONDBLCLK, WM_NULL, true);
}

void Click(Window& w, Point p) {
    const Handle h = w.handle();
    LButtonDown(w, p);
    if (Window* still = Window::FromHandle(h)) LButtonUp(*still, p);
}

void KeyDown(Window& w, unsigned vk, bool alt) {
    if (!NativeOf(w) || fw::IsDisabled(w)) return;
    // With Alt held, and for F10 alone, the system reports a "system" key.
    const bool sys = alt || vk == VK_F10;
    const LPARAM lp = 1 | (alt ? (LPARAM{1} << 29) : 0);
    fw::detail::RouteInput(w, sys ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lp);
}

void DragBy(Window& w, int dx, int dy) {
    Native* n = NativeOf(w);
    if (!n || n->drag == backend::DragKind::None) return;
    State().cursor.x += dx;
    State().cursor.y += dy;
    // The system moves the window, as the user's drag does on the desktop.
    auto moveTo = [&w](const Rect& screen) {
        fw::detail::PlatformMoved(w, screen);
        fw::detail::NotifyPlacement(w);
    };
    const Rect r = w.GetWindowRect();
    if (n->drag == backend::DragKind::Move) {
        moveTo(r.Offset(dx, dy));
        return;
    }
    Size minTrack{1, 1};
    const Handle h = w.handle();
    w.Send(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&minTrack));
    if (!Alive(h)) return;
    const int minW = std::max(minTrack.cx, 1), minH = std::max(minTrack.cy, 1);
    Rect nr = r;
    const int hit = n->dragHit;
    if (hit == HTLEFT || hit == HTTOPLEFT || hit == HTBOTTOMLEFT) nr.left = std::min(r.left + dx, r.right - minW);
    if (hit == HTRIGHT || hit == HTTOPRIGHT || hit == HTBOTTOMRIGHT) nr.right = std::max(r.right + dx, r.left + minW);
    if (hit == HTTOP || hit == HTTOPLEFT || hit == HTTOPRIGHT) nr.top = std::min(r.top + dy, r.bottom - minH);
    if (hit == HTBOTTOM || hit == HTBOTTOMLEFT || hit == HTBOTTOMRIGHT)
        nr.bottom = std::max(r.bottom + dy, r.top + minH);
    moveTo(nr);
}

void SystemSetsState(Window& w, bool minimized, bool maximized) {
    Native* n = NativeOf(w);
    if (!n || n->IsChild()) return;
    const bool wasMaximized = n->placement().maximized;
    const Rect before = n->placement().rect;
    fw::detail::PlatformStateChanged(w, minimized, maximized);
    const backend::Placement& p = n->placement();
    if (p.maximized)
        fw::detail::PlatformMoved(w, MonitorWorkArea(before));
    else if (wasMaximized && !p.minimized)
        fw::detail::PlatformMoved(w, p.normalRect);
    fw::detail::NotifyPlacement(w);
}

WindowInfo Info(const Window& w) {
    WindowInfo info;
    const Native* n = NativeOf(w);
    if (!n) return info;
    const backend::Placement& p = n->placement();
    info.visible = p.visible;
    info.minimized = p.minimized;
    info.maximized = p.maximized;
    info.layered = n->layered || (w.style() & kLayered) != 0;
    info.topmost = (n->style & kTopmost) != 0;
    info.rect = w.GetWindowRect();
    info.caption = n->caption;
    info.cursor = n->cursor;
    info.layeredUpdates = n->layeredUpdates;
    info.moveDrags = n->moveDrags;
    info.resizeDrags = n->resizeDrags;
    info.lastResizeHit = n->lastResizeHit;
    info.hasIcon = n->hasIcon;
    for (const backend::Timer& t : n->timers) info.timers.push_back(t.id);
    info.trackingLeave = n->trackingLeave;
    return info;
}

const Bitmap* LayeredPicture(const Window& w) {
    const Native* n = NativeOf(w);
    return n && n->layeredUpdates > 0 ? &n->picture : nullptr;
}

Bitmap PaintWindow(Window& w) {
    Native* n = NativeOf(w);
    return n ? detail::Paint(n) : Bitmap();
}

Handle Foreground() {
    const Native* f = State().foreground;
    return f && f->listed ? f->handle : kNoWindow;
}

std::vector<Handle> LiveWindows() {
    std::vector<Handle> out;
    for (const Native* n : State().all)
        if (n->listed) out.push_back(n->handle);
    return out;
}

}  // namespace fw::headless
