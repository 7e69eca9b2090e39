// The desktop's services on Win32: the clock, the screen, system-wide hot keys
// (RegisterHotKey), the notification-area icon (Shell_NotifyIconW) and its menu, message
// boxes, the default browser (ShellExecuteW), and the browser control's stored data.
#include "fw/win32/native.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "fw/hotkey.h"
#include "fw/message_box.h"
#include "fw/shell.h"
#include "fw/system.h"
#include "fw/tray.h"
#include "fw/windows/services.h"
#include "fw/windows/wide.h"

namespace fw::win32 {

namespace {

struct HotKeyReg {
    HWND hwnd;
    int id;
};
std::vector<HotKeyReg> g_hotKeys;  // what this program registered, to give back with its window

struct TrayEntry {
    HWND hwnd;
    unsigned id;
    HICON icon;
};
std::vector<TrayEntry> g_tray;

NOTIFYICONDATAW TrayRecord(HWND hwnd, unsigned id) {
    NOTIFYICONDATAW d{};
    d.cbSize = sizeof d;  // the whole record of this system's shell
    d.hWnd = hwnd;
    d.uID = id;
    return d;
}

void RemoveTray(const TrayEntry& t) {
    NOTIFYICONDATAW d = TrayRecord(t.hwnd, t.id);
    Shell_NotifyIconW(NIM_DELETE, &d);
    if (t.icon) DestroyIcon(t.icon);
}

void CopyTruncated(wchar_t* dst, std::size_t capacity, const std::wstring& src) {
    const std::size_t n = std::min(src.size(), capacity - 1);
    std::copy_n(src.data(), n, dst);
    dst[n] = L'\0';
}

}  // namespace

void ForgetHotKeys(Native* n) {
    if (!n->hwnd) return;
    for (auto it = g_hotKeys.begin(); it != g_hotKeys.end();) {
        if (it->hwnd == n->hwnd) {
            ::UnregisterHotKey(it->hwnd, it->id);
            it = g_hotKeys.erase(it);
        } else {
            ++it;
        }
    }
}

void ForgetTrayIcons(Native* n) {
    if (!n->hwnd) return;
    for (auto it = g_tray.begin(); it != g_tray.end();) {
        if (it->hwnd == n->hwnd) {
            RemoveTray(*it);
            it = g_tray.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace fw::win32

namespace fw::win32 {

namespace {
Rect AsRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }
}  // namespace

fw::detail::Monitor MonitorOfRect(const Rect& r) {
    const RECT want{r.left, r.top, r.right, r.bottom};
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromRect(&want, MONITOR_DEFAULTTONEAREST), &info)) {
        const Size screen = ScreenSize();
        return {Rect{0, 0, screen.cx, screen.cy}, WorkArea()};
    }
    return {AsRect(info.rcMonitor), AsRect(info.rcWork)};
}

}  // namespace fw::win32

namespace fw {

using namespace fw::win32;

// ---- clock and screen ----

std::uint64_t TickCountMs() { return GetTickCount64(); }

Size ScreenSize() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

Rect WorkArea() {
    RECT r{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0)) return Rect{0, 0, ScreenSize().cx, ScreenSize().cy};
    return Rect{r.left, r.top, r.right, r.bottom};
}

Rect MonitorWorkArea(const Rect& r) { return MonitorOfRect(r).work; }

bool OnSomeMonitor(const Rect& r, int margin) {
    std::vector<fw::detail::Monitor> monitors;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR m, HDC, LPRECT, LPARAM list) -> BOOL {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(m, &info))
                reinterpret_cast<std::vector<fw::detail::Monitor>*>(list)->push_back(
                    {AsRect(info.rcMonitor), AsRect(info.rcWork)});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&monitors));
    return fw::detail::OnSomeMonitorIn(monitors, r, margin);
}

// ---- hot keys ----

bool RegisterHotKey(Handle wnd, int id, unsigned modifiers, unsigned vk) {
    HWND hwnd = HwndOf(wnd);
    if (!hwnd) return false;
    // The system refuses a combination another window or program holds (error 1409).
    if (!::RegisterHotKey(hwnd, id, modifiers, vk)) return false;
    g_hotKeys.push_back({hwnd, id});
    return true;
}

bool UnregisterHotKey(Handle wnd, int id) {
    HWND hwnd = HwndOf(wnd);
    if (!hwnd) return false;
    std::erase_if(g_hotKeys, [&](const HotKeyReg& r) { return r.hwnd == hwnd && r.id == id; });
    return ::UnregisterHotKey(hwnd, id) != FALSE;
}

std::string KeyName(unsigned vk, bool extended) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    if (!scan) return {};
    const LONG lp = static_cast<LONG>((scan << 16) | (extended ? (1u << 24) : 0u));
    wchar_t name[64] = {};
    const int len = GetKeyNameTextW(lp, name, 64);
    return len > 0 ? windows::Narrow(std::wstring_view(name, static_cast<std::size_t>(len))) : std::string();
}

// ---- tray ----

bool TrayAdd(Handle wnd, unsigned id, unsigned callbackMsg, const Image* icon, const std::string& tip) {
    HWND hwnd = HwndOf(wnd);
    if (!hwnd) return false;
    for (const TrayEntry& t : g_tray)
        if (t.hwnd == hwnd && t.id == id) return false;  // already there
    NOTIFYICONDATAW d = TrayRecord(hwnd, id);
    d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    d.uCallbackMessage = callbackMsg;
    d.hIcon = IconFromImage(icon, GetSystemMetrics(SM_CXSMICON));
    CopyTruncated(d.szTip, std::size(d.szTip), windows::Wide(tip));
    if (!Shell_NotifyIconW(NIM_ADD, &d)) {
        if (d.hIcon) DestroyIcon(d.hIcon);
        return false;
    }
    g_tray.push_back({hwnd, id, d.hIcon});
    return true;
}

bool TrayDelete(Handle wnd, unsigned id) {
    HWND hwnd = HwndOf(wnd);
    for (auto it = g_tray.begin(); it != g_tray.end(); ++it) {
        if (it->hwnd == hwnd && it->id == id) {
            RemoveTray(*it);
            g_tray.erase(it);
            return true;
        }
    }
    return false;
}

bool TraySetMenu(Handle wnd, unsigned id, const std::vector<MenuItem>&) {
    // The shell passes the icon's clicks to its window, which shows the menu itself.
    HWND hwnd = HwndOf(wnd);
    return hwnd &&
           std::any_of(g_tray.begin(), g_tray.end(), [&](const TrayEntry& t) { return t.hwnd == hwnd && t.id == id; });
}

void TrackPopupMenu(Handle wnd, const std::vector<MenuItem>& items, Point screen) {
    if (items.empty() || !HwndOf(wnd)) return;
    // The system's menu runs a loop of its own until it closes; it runs from the message loop,
    // so that the caller goes on at once.
    RunSoon([wnd, items, screen] {
        HWND hwnd = HwndOf(wnd);
        if (!hwnd) return;
        HMENU menu = CreatePopupMenu();
        if (!menu) return;
        for (const MenuItem& it : items) {
            if (it.text.empty() && it.command == 0)
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            else
                AppendMenuW(menu, MF_STRING, it.command, windows::Wide(it.text).c_str());
        }
        // A menu of a notification icon closes when the user clicks elsewhere only while its
        // window is in the foreground.
        SetForegroundWindow(hwnd);
        const UINT cmd = static_cast<UINT>(::TrackPopupMenu(
            menu, TPM_LEFTALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, screen.x, screen.y, 0, hwnd, nullptr));
        DestroyMenu(menu);
        PostMessageW(hwnd, WM_NULL, 0, 0);
        if (cmd) Window::Post(wnd, WM_COMMAND, cmd, 0);
    });
}

Point GetCursorPos() {
    POINT p{};
    ::GetCursorPos(&p);
    return {p.x, p.y};
}

// ---- message boxes and the shell ----

int MessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned flags) {
    EnsureStarted();
    // The box takes the foreground itself: a box that comes up while another program is in the
    // foreground (or the system is slow to hand it over) would show its default button
    // focused and yet take no key.
    const int answer = MessageBoxW(HwndOf(owner), windows::Wide(text).c_str(), windows::Wide(caption).c_str(),
                                   flags | MB_SETFOREGROUND);
    const unsigned buttons = flags & 0xF;
    // A box with OK alone has no other answer (Wine answers Cancel to Escape there).
    if (buttons == MB_OK) return IDOK;
    if (answer == IDOK || answer == IDCANCEL || answer == IDYES || answer == IDNO) return answer;
    // No box could be shown, or it was ended by the program's quitting: as if closed.
    return buttons == MB_OKCANCEL ? IDCANCEL : IDNO;
}

bool ShellOpenUrl(const std::string& url) {
    if (!IsWebAddress(url)) return false;
    const auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", windows::Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
}

// ---- the browser control's data and working sets ----

bool TrimAllWorkingSets() { return windows::TrimAllProcesses().listed; }

void ClearBrowserDataExceptCookies(std::function<void()> done) {
    // The URL cache's functions may be called from any thread: the caller's (a worker, as a
    // rule: a large cache takes seconds) does the work, and `done` runs on the UI thread
    // afterwards.
    windows::ClearUrlCacheExceptCookies();
    if (done) RunSoon(std::move(done));
}

bool BrowserDataClearsOnAnyThread() { return true; }

std::string BrowserCacheFolder() { return windows::InternetCacheFolder(); }

}  // namespace fw
