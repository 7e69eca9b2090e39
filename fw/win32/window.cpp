// Windows on raw Win32 (native.h has the picture): making and ending them, the one window
// procedure that turns the system's messages into fw's, showing and placing them, and the
// move and size drags.
#include "fw/win32/native.h"

#include <algorithm>
#include <vector>

#include "fw/app.h"
#include "fw/system.h"
#include "fw/windows/wide.h"

namespace fw::win32 {

namespace {

std::vector<Native*> g_natives;  // live windows, oldest first (UI thread)

ATOM ClassAtom() {
    static ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        return static_cast<ATOM>(GetClassInfoExW(Instance(), kWindowClass, &wc));
    }();
    return atom;
}

RECT ToRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
Rect FromRECT(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST; }

bool IsRoutedInput(UINT msg) {
    if (IsMouseMessage(msg)) return true;
    switch (msg) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_TIMER:
    case WM_HOTKEY:
    case WM_MOUSELEAVE:
    case WM_NCLBUTTONDOWN:
    case WM_SYSCOMMAND:
    case WM_CLOSE: return true;
    default: return false;
    }
}

// The system or the user changed the window by itself: fw/common learns its state and
// rectangle, then tells the window what differs.
void ReportPlatformChange(Native* n) {
    Window& w = *n->owner;
    const Placement& p = Place(n);
    const bool minimized = IsIconic(n->hwnd) != FALSE;
    const bool maximized = !minimized && IsZoomed(n->hwnd) != FALSE;
    if (minimized != p.minimized || (!minimized && maximized != p.maximized))
        fw::detail::PlatformStateChanged(w, minimized, maximized);
    if (!minimized) {
        RECT r;
        GetWindowRect(n->hwnd, &r);
        fw::detail::PlatformMoved(w, FromRECT(r));
    }
    fw::detail::NotifyPlacement(w);
}

void FillMinMaxInfo(Native* n, MINMAXINFO* mmi) {
    Size minTrack{};
    const Handle h = n->handle;
    n->owner->WindowProc(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&minTrack));
    if (!Alive(h)) return;
    if (minTrack.cx > 0) mmi->ptMinTrackSize.x = minTrack.cx;
    if (minTrack.cy > 0) mmi->ptMinTrackSize.y = minTrack.cy;
    if (!n->child) {
        // Maximised means the work area of the window's monitor; the system takes the
        // position from that monitor's origin.
        const fw::detail::Monitor m = MonitorOfRect(Place(n).rect);
        mmi->ptMaxPosition = {m.work.left - m.area.left, m.work.top - m.area.top};
        mmi->ptMaxSize = {m.work.Width(), m.work.Height()};
    }
}

// The rectangle as SetWindowPos takes it: screen coordinates, a child's in its parent's
// client area.
Rect NativeRect(const Native* n) { return Place(n).rect; }

void ApplyRect(Native* n, UINT extra) {
    const Rect r = NativeRect(n);
    SetWindowPos(n->hwnd, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE | extra);
}

// Where a minimised window goes back to: the placement's rectangle, as the system keeps it
// (workspace coordinates, which leave out task bars at the top or left, for windows that
// are on the taskbar).
void SetRestoreRect(Native* n) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(n->hwnd, &wp)) return;
    Rect r = NativeRect(n);
    if (!n->child && !(GetWindowLongW(n->hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) {
        // Workspace coordinates are those of the work area of the rectangle's monitor, taken
        // from that monitor's origin.
        const fw::detail::Monitor m = MonitorOfRect(r);
        r = r.Offset(-(m.work.left - m.area.left), -(m.work.top - m.area.top));
    }
    wp.rcNormalPosition = ToRECT(r);
    SetWindowPlacement(n->hwnd, &wp);
}

HCURSOR CursorFor(Cursor c) {
    const wchar_t* id = IDC_ARROW;
    switch (c) {
    case Cursor::Arrow: id = IDC_ARROW; break;
    case Cursor::Hand: id = IDC_HAND; break;
    case Cursor::SizeNS: id = IDC_SIZENS; break;
    case Cursor::SizeWE: id = IDC_SIZEWE; break;
    case Cursor::SizeNWSE: id = IDC_SIZENWSE; break;
    case Cursor::SizeNESW: id = IDC_SIZENESW; break;
    }
    return LoadCursorW(nullptr, id);
}

// The system's windows destroyed one of ours without fw asking (its owner went another way):
// fw/common runs the window's destruction as if asked.
void DestroyedBySystem(Native* n) {
    n->hwnd = nullptr;
    if (Window* w = Window::FromHandle(n->handle)) w->Destroy();
}

// ---- drags -------------------------------------------------------------------------------

// Moves (hit HTCAPTION) or sizes the window by an edge while the left button is held: our
// own loop with the mouse captured, so that it behaves the same everywhere. Escape puts the
// window back. The changes reach fw/common as the platform's.
void DragLoop(Native* n, int hit) {
    // The button as it was when the message being handled came (the press): the moves and the
    // release that followed are in the queue, however quick the user was.
    if (!(GetKeyState(VK_LBUTTON) & 0x8000)) return;  // no button held: nothing to drag
    HWND hwnd = n->hwnd;
    const Handle h = n->handle;
    RECT start;
    GetWindowRect(hwnd, &start);
    if (n->child) MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&start), 2);
    POINT from;
    GetCursorPos(&from);
    MINMAXINFO mmi{};
    if (hit != HTCAPTION) {
        FillMinMaxInfo(n, &mmi);
        if (!Alive(h)) return;
    }
    const LONG minW = std::max<LONG>(1, mmi.ptMinTrackSize.x), minH = std::max<LONG>(1, mmi.ptMinTrackSize.y);
    const bool left = hit == HTLEFT || hit == HTTOPLEFT || hit == HTBOTTOMLEFT;
    const bool right = hit == HTRIGHT || hit == HTTOPRIGHT || hit == HTBOTTOMRIGHT;
    const bool top = hit == HTTOP || hit == HTTOPLEFT || hit == HTTOPRIGHT;
    const bool bottom = hit == HTBOTTOM || hit == HTBOTTOMLEFT || hit == HTBOTTOMRIGHT;

    auto place = [&](POINT at) {
        const LONG dx = at.x - from.x, dy = at.y - from.y;
        RECT r = start;
        if (hit == HTCAPTION) {
            OffsetRect(&r, dx, dy);
        } else {
            if (left) r.left = std::min(start.left + dx, start.right - minW);
            if (right) r.right = std::max(start.right + dx, start.left + minW);
            if (top) r.top = std::min(start.top + dy, start.bottom - minH);
            if (bottom) r.bottom = std::max(start.bottom + dy, start.top + minH);
        }
        SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    };

    SetCapture(hwnd);
    MSG m;
    while (Alive(h) && GetCapture() == hwnd) {
        const BOOL got = GetMessageW(&m, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (m.message == WM_MOUSEMOVE) {
            place(m.pt);
            continue;
        }
        if (m.message == WM_LBUTTONUP) {
            place(m.pt);
            break;
        }
        if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
            place(from);
            break;
        }
        if (m.message == WM_RBUTTONDOWN || m.message == WM_KEYDOWN || m.message == WM_KEYUP) continue;
        ProcessMessage(m);
    }
    if (GetCapture() == hwnd) ::ReleaseCapture();
}

}  // namespace

Native* NativeOfHwnd(HWND hwnd) {
    if (!hwnd || !ClassAtom() || GetClassLongPtrW(hwnd, GCW_ATOM) != ClassAtom()) return nullptr;
    return reinterpret_cast<Native*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

HWND HwndOf(Handle h) {
    Window* w = Window::FromHandle(h);
    return w && w->native() ? w->native()->hwnd : nullptr;
}

Native* EnclosingNative(HWND hwnd) {
    HWND desktop = GetDesktopWindow();
    for (HWND h = hwnd; h && h != desktop; h = GetAncestor(h, GA_PARENT))
        if (Native* n = NativeOfHwnd(h)) return n;
    return nullptr;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> out;
    for (Native* n : g_natives)
        if (!n->child && n->hwnd) out.push_back(n->hwnd);
    return out;
}

Point ScreenOrigin(const Native* n) {
    const Rect& r = Place(n).rect;
    if (n->child && n->parent) {
        const Point p = ScreenOrigin(n->parent);
        return {p.x + r.left, p.y + r.top};
    }
    return r.TopLeft();
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* n = static_cast<Native*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        n->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(n));
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    Native* n = reinterpret_cast<Native*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!n || n->hwnd != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
    Window& w = *n->owner;
    const Handle h = n->handle;

    switch (msg) {
    // fw/common sends these itself, when the client asks and after what the platform did.
    case WM_CREATE:
    case WM_MOVE:
    case WM_SIZE: return 0;
    case WM_SHOWWINDOW: return DefWindowProcW(hwnd, msg, wp, lp);
    case WM_DESTROY: DestroyedBySystem(n); return 0;
    case WM_ERASEBKGND: return 1;  // every pixel is painted from the back buffer
    case WM_PAINT: Paint(n); return 0;
    case WM_WINDOWPOSCHANGED:
        // Not passed on: the system's WM_MOVE and WM_SIZE would follow, and fw/common sends
        // its own.
        if (n->applying == 0) ReportPlatformChange(n);
        return 0;
    case WM_GETMINMAXINFO: FillMinMaxInfo(n, reinterpret_cast<MINMAXINFO*>(lp)); return 0;
    case WM_NCHITTEST: return w.WindowProc(WM_NCHITTEST, 0, lp);
    case WM_SETCURSOR:
        // A control inside the window (the browser) sets its own cursor.
        if (reinterpret_cast<HWND>(wp) != hwnd) return FALSE;
        if (w.WindowProc(WM_SETCURSOR, static_cast<WPARAM>(h), lp)) return TRUE;
        return Alive(h) ? DefWindowProcW(hwnd, msg, wp, lp) : TRUE;
    case WM_COMMAND:
        // Menus and accelerators; the notifications of controls are not the window's commands.
        if (lp != 0) return DefWindowProcW(hwnd, msg, wp, lp);
        fw::detail::RouteInput(w, WM_COMMAND, wp, 0);
        return 0;
    case WM_ENDSESSION:
        // The user logs off: the program ends as if the main window were closed.
        if (wp && MainWindow() == &w) w.WindowProc(WM_CLOSE, 0, 0);
        return 0;
    default: break;
    }

    if (IsRoutedInput(msg)) {
        const bool dispatched = fw::detail::RouteInput(w, msg, wp, lp);
        // Alt+F4 becomes the system's close command, F10 and Alt the (ignored) menu key.
        if ((msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP) && dispatched && Alive(h))
            return DefWindowProcW(hwnd, msg, wp, lp);
        return 0;
    }
    // Numbered messages from others (the tray's notifications): as posted fw messages.
    if (msg >= WM_USER && msg < 0xC000) {
        fw::detail::RouteInput(w, msg, wp, lp);
        return 0;
    }
    if (HotKeyGroupMessage(n, msg, wp, lp)) return 0;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace fw::win32

namespace fw::backend {

using namespace fw::win32;

Native* CreateNative(Window& owner, const CreateParams& params) {
    if (!EnsureStarted()) return nullptr;
    Native* parent = params.parent && params.parent->IsWindow() ? params.parent->native() : nullptr;
    if ((params.style & kChild) && !parent) return nullptr;  // a child needs a parent
    auto* n = new Native;
    n->owner = &owner;
    n->handle = owner.handle();
    n->parent = parent;
    n->child = (params.style & kChild) != 0;
    n->layered = (params.style & kLayered) != 0;

    DWORD style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (n->child ? WS_CHILD : WS_POPUP);
    if (params.style & kMinimizeBox) style |= WS_MINIMIZEBOX | WS_SYSMENU;
    if (params.style & kMaximizeBox) style |= WS_MAXIMIZEBOX | WS_SYSMENU;
    DWORD ex = 0;
    if (params.style & kToolWindow) ex |= WS_EX_TOOLWINDOW;
    if ((params.style & kTopmost) && !n->child) ex |= WS_EX_TOPMOST;
    if (n->layered) ex |= WS_EX_LAYERED;

    const Rect r = Place(n).rect;
    const std::wstring caption = windows::Wide(params.caption);
    ++n->applying;
    HWND hwnd = CreateWindowExW(
        ex, kWindowClass, caption.c_str(), style, r.left, r.top, r.Width(), r.Height(), parent ? parent->hwnd : nullptr,
        n->child ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(params.id)) : nullptr, Instance(), n);
    --n->applying;
    if (!hwnd) {
        delete n;
        return nullptr;
    }
    if (n->child && (params.style & kTopmost))
        SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    g_natives.push_back(n);
    // As the system does inside CreateWindowEx, after the creation message: one WM_SIZE and
    // WM_MOVE (fw/common runs the creation message once this returns).
    const Handle h = n->handle;
    RunSoon([h] {
        if (Window* w = Window::FromHandle(h)) fw::detail::NotifyPlacement(*w, true);
    });
    return n;
}

void DestroyNative(Native* n) {
    if (!n) return;
    // Children and owned pop-ups go with their parent, after its WM_DESTROY.
    std::vector<Handle> kids;
    for (Native* k : g_natives)
        if (k->parent == n) kids.push_back(k->handle);
    for (Handle kh : kids)
        if (Window* kw = Window::FromHandle(kh)) kw->Destroy();
    for (Native* k : g_natives)
        if (k->parent == n) k->parent = nullptr;

    ForgetTooltip(n->handle);
    ForgetHotKeys(n);
    ForgetHotKeyGroups(n);
    ForgetTrayIcons(n);
    g_natives.erase(std::remove(g_natives.begin(), g_natives.end(), n), g_natives.end());
    if (HWND hwnd = n->hwnd) {
        for (unsigned id : n->timers) ::KillTimer(hwnd, id);
        n->hwnd = nullptr;  // the window procedure no longer knows it
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
    }
    n->timers.clear();
    DropLayered(n);
    if (n->bigIcon) DestroyIcon(n->bigIcon);
    if (n->smallIcon) DestroyIcon(n->smallIcon);
    n->bigIcon = n->smallIcon = nullptr;
    // A window procedure further up the stack may still hold the pointer.
    Bury(n);
}

void Show(Native* n, ShowCmd cmd, const Placement& before) {
    (void)before;
    HWND hwnd = n ? n->hwnd : nullptr;
    if (!hwnd) return;
    const Placement& p = Place(n);
    const bool activate = !n->child && fw::detail::ShowActivation(cmd) == fw::detail::Activation::Activate;
    const bool wasVisible = IsWindowVisible(hwnd) != FALSE;
    ++n->applying;
    if (!p.visible) {
        ShowWindow(hwnd, SW_HIDE);
    } else if (p.minimized) {
        if (!IsIconic(hwnd))
            ShowWindow(hwnd, SW_MINIMIZE);
        else if (!IsWindowVisible(hwnd))
            ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
        SetRestoreRect(n);
    } else if (p.maximized) {
        if (!IsZoomed(hwnd) || !IsWindowVisible(hwnd)) ShowWindow(hwnd, SW_SHOWMAXIMIZED);
        ApplyRect(n, 0);
    } else {
        if (IsIconic(hwnd) || IsZoomed(hwnd)) {
            ShowWindow(hwnd, activate ? SW_RESTORE : SW_SHOWNOACTIVATE);
            if (IsZoomed(hwnd)) ShowWindow(hwnd, activate ? SW_RESTORE : SW_SHOWNOACTIVATE);  // it was maximised below
        } else {
            ShowWindow(hwnd, activate ? SW_SHOW : SW_SHOWNA);
        }
        ApplyRect(n, 0);
    }
    if (activate && p.visible && !p.minimized) SetForegroundWindow(hwnd);
    --n->applying;
    if (!p.visible || p.minimized) HideTooltipOf(n->handle);
    // The system hides owned windows only with a minimised owner: the pages' pop-ups follow
    // a hidden one here (the boss key), and come back once it is on the screen again.
    if (!n->child && !p.visible && wasVisible)
        PopupsFollowOwner(hwnd, false);
    else if (!n->child && p.visible && !p.minimized)
        PopupsFollowOwner(hwnd, true);
}

void SetForeground(Native* n) {
    if (!n || !n->hwnd) return;
    const Placement& p = Place(n);
    if (!p.visible || p.minimized) return;
    HWND top = n->child ? GetAncestor(n->hwnd, GA_ROOT) : n->hwnd;
    SetForegroundWindow(top);
    if (n->child) ::SetFocus(n->hwnd);
}

void SetFocus(Native* n) {
    if (n && n->hwnd) ::SetFocus(n->hwnd);
}

void SetPos(Native* n, const Rect& before, unsigned flags) {
    if (!n || !n->hwnd) return;
    const Rect r = NativeRect(n);
    const bool raise = (flags & kTopOfZOrder) && !(flags & kNoZOrder);
    ++n->applying;
    if (IsIconic(n->hwnd)) {
        SetRestoreRect(n);
        if (raise) SetWindowPos(n->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else {
        UINT f = SWP_NOACTIVATE | (raise ? 0 : SWP_NOZORDER);
        if (r == before) f |= SWP_NOMOVE | SWP_NOSIZE;
        SetWindowPos(n->hwnd, raise ? HWND_TOP : nullptr, r.left, r.top, r.Width(), r.Height(), f);
    }
    --n->applying;
}

void SetCaption(Native* n, const std::string& text) {
    if (n && n->hwnd) SetWindowTextW(n->hwnd, windows::Wide(text).c_str());
}

void SetIcon(Native* n, const Image* icon) {
    if (!n || !n->hwnd) return;
    HICON big = IconFromImage(icon, GetSystemMetrics(SM_CXICON));
    HICON small = IconFromImage(icon, GetSystemMetrics(SM_CXSMICON));
    SendMessageW(n->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(n->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    if (n->bigIcon) DestroyIcon(n->bigIcon);
    if (n->smallIcon) DestroyIcon(n->smallIcon);
    n->bigIcon = big;
    n->smallIcon = small;
}

void SetCursor(Native* n, Cursor c) {
    if (!n || !n->hwnd) return;
    n->cursor = c;
    // Now, when the mouse is over the window; otherwise its next WM_SETCURSOR decides.
    POINT pt;
    if (GetCapture() == n->hwnd || (GetCursorPos(&pt) && WindowFromPoint(pt) == n->hwnd)) ::SetCursor(CursorFor(c));
}

void SetTimer(Native* n, unsigned id, unsigned ms) {
    if (!n || !n->hwnd) return;
    // Setting it again restarts the period, as the system does.
    if (::SetTimer(n->hwnd, id, std::max(ms, 10u), nullptr)) n->timers.insert(id);
}

void KillTimer(Native* n, unsigned id) {
    if (!n || !n->hwnd) return;
    ::KillTimer(n->hwnd, id);
    n->timers.erase(id);
}

void TrackMouseLeave(Native* n) {
    if (!n || !n->hwnd) return;
    TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, n->hwnd, 0};
    TrackMouseEvent(&t);
}

void ReleaseCapture(Native* n) {
    if (n && n->hwnd && GetCapture() == n->hwnd) ::ReleaseCapture();
}

void BeginMoveDrag(Native* n) {
    if (n && n->hwnd && IsWindowVisible(n->hwnd) && !IsZoomed(n->hwnd)) DragLoop(n, HTCAPTION);
}

void BeginResizeDrag(Native* n, int hitCode) {
    if (!n || !n->hwnd || !IsWindowVisible(n->hwnd) || IsZoomed(n->hwnd)) return;
    if (hitCode < HTLEFT || hitCode > HTBOTTOMRIGHT) return;
    DragLoop(n, hitCode);
}

}  // namespace fw::backend
