#pragma once
// What the Win32 back end's tests share: a fixture that leaves every test with a fresh
// program state, a window that records what reaches it, and the user's part played through
// SendInput (the system's own input path) or the screen read back.
#include "fw/windows/windows_api.h"

#include <exdispid.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fw/app.h"
#include "fw/backend.h"
#include "fw/win32/testing.h"
#include "fw/window.h"
#include "fw/windows/com_ptr.h"

namespace rvtest {

// Runs the back end's loop until `until` holds or `ms` pass.
inline bool Pump(const std::function<bool()>& until, unsigned ms = 5000) { return fw::win32::PumpUntil(until, ms); }
inline void PumpFor(unsigned ms) { fw::win32::PumpUntil(nullptr, ms); }

class Win32Test : public ::testing::Test {
protected:
    void SetUp() override {
        fw::detail::ResetApp();
        fw::detail::DiscardPosted();
        MSG m;
        while (PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    }
    void TearDown() override {
        PumpFor(20);  // what the test left behind is delivered or freed
        fw::detail::ResetApp();
    }
};

struct Seen {
    unsigned msg;
    fw::WPARAM wp;
    fw::LPARAM lp;
};

// A window that records every message its window procedure gets, and what its
// pre-translation is asked; hooks let a test act inside the handlers.
class Recorder : public fw::Window {
public:
    ~Recorder() override { Destroy(); }

    bool Make(unsigned style, const fw::Rect& r, fw::Window* parent = nullptr, const std::string& caption = "rv-test",
              int id = 0) {
        fw::CreateParams p;
        p.caption = caption;
        p.style = style;
        p.rect = r;
        p.parent = parent;
        p.id = id;
        return Create(p);
    }
    HWND hwnd() const { return fw::win32::HwndOf(handle()); }

    fw::LRESULT WindowProc(unsigned msg, fw::WPARAM wp, fw::LPARAM lp) override {
        seen.push_back({msg, wp, lp});
        if (onMessage) onMessage(msg, wp, lp);
        if (!IsWindow()) return 0;
        return fw::Window::WindowProc(msg, wp, lp);
    }
    bool PreTranslateMessage(const fw::Msg& m) override {
        pre.push_back(m);
        return swallow && swallow(m);
    }

    std::size_t Count(unsigned msg) const {
        std::size_t n = 0;
        for (const Seen& s : seen) n += s.msg == msg;
        return n;
    }
    const Seen* Last(unsigned msg) const {
        for (auto it = seen.rbegin(); it != seen.rend(); ++it)
            if (it->msg == msg) return &*it;
        return nullptr;
    }

    std::vector<Seen> seen;
    std::vector<fw::Msg> pre;
    std::function<void(unsigned, fw::WPARAM, fw::LPARAM)> onMessage;
    std::function<bool(const fw::Msg&)> swallow;
    std::function<void(fw::Canvas&)> paint;
    int hit = fw::HTCLIENT;
    fw::Size minTrack{};
    bool destroyed = false;

protected:
    void OnPaint(fw::Canvas& c) override {
        if (paint) paint(c);
    }
    int OnNcHitTest(fw::Point) override { return hit; }
    void OnGetMinMaxInfo(fw::Size& s) override { s = minTrack; }
    void OnDestroy() override { destroyed = true; }
};

// ---- the user, through the system's input --------------------------------------------------

inline void SendMouse(DWORD flags, fw::Point screen = {}) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        in.mi.dx = static_cast<LONG>((screen.x * 65535LL + w / 2) / (w - 1));
        in.mi.dy = static_cast<LONG>((screen.y * 65535LL + h / 2) / (h - 1));
    }
    SendInput(1, &in, sizeof in);
}
inline void MoveMouse(fw::Point screen) { SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, screen); }
inline void LeftDown() { SendMouse(MOUSEEVENTF_LEFTDOWN); }
inline void LeftUp() { SendMouse(MOUSEEVENTF_LEFTUP); }

inline void SendKey(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}
// Presses the modifiers, then the key, and lets go of all of them again.
inline void PressKeys(std::initializer_list<WORD> modifiers, WORD vk) {
    for (WORD m : modifiers) SendKey(m, false);
    SendKey(vk, false);
    SendKey(vk, true);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) SendKey(*it, true);
}

// The colour on the screen at a point, 0xRRGGBB.
inline std::uint32_t ScreenPixel(fw::Point p) {
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

inline fw::Rect SystemRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return fw::Rect{r.left, r.top, r.right, r.bottom};
}

// True under Wine (its ntdll has an export of its own), where a few things of the system are
// known to differ (README: what Wine cannot show).
inline bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A visible top-level window of this process with that caption (a message box, a menu).
inline HWND FindOwnWindow(const wchar_t* className, const wchar_t* caption) {
    struct Search {
        const wchar_t* cls;
        const wchar_t* caption;
        HWND found;
    } s{className, caption, nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid != GetCurrentProcessId() || !IsWindowVisible(h)) return TRUE;
            wchar_t buf[256] = {};
            if (s->cls) {
                GetClassNameW(h, buf, 256);
                if (std::wstring(buf) != s->cls) return TRUE;
            }
            if (s->caption) {
                GetWindowTextW(h, buf, 256);
                if (std::wstring(buf) != s->caption) return TRUE;
            }
            s->found = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// ---- the browser control, played ----------------------------------------------------------

// Raises an event at a control's sink with its arguments in the order of the event's
// declaration, as DWebBrowserEvents2 lays them out (last first).
inline void Raise(IDispatch* sink, DISPID id, std::vector<VARIANT> declared) {
    std::reverse(declared.begin(), declared.end());
    DISPPARAMS dp{declared.data(), nullptr, static_cast<UINT>(declared.size()), 0};
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr);
}

inline VARIANT Ref(VARIANT* v) {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_BYREF | VT_VARIANT;
    r.pvarVal = v;
    return r;
}

// The control's own window (where its keys go).
inline HWND ControlWindow(IUnknown* control) {
    void* p = nullptr;
    if (!control || FAILED(control->QueryInterface(IID_IOleInPlaceObject, &p)) || !p) return nullptr;
    HWND h = nullptr;
    static_cast<IOleInPlaceObject*>(p)->GetWindow(&h);
    static_cast<IOleInPlaceObject*>(p)->Release();
    return h;
}

// What NewWindow3 answered: whether it was cancelled, and the control handed back to load the
// new window in (the control's reference, now the test's).
struct NewWindowAnswer {
    bool cancelled = false;
    fw::windows::ComPtr<IDispatch> window;
};

inline NewWindowAnswer NewWindow(IDispatch* sink, const std::wstring& url, unsigned flags) {
    NewWindowAnswer answer;
    BSTR b = SysAllocString(url.c_str());
    BSTR context = SysAllocString(L"http://127.0.0.1:9/");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT ppDisp, c, f, ctx, u;
    for (VARIANT* v : {&ppDisp, &c, &f, &ctx, &u}) VariantInit(v);
    ppDisp.vt = VT_BYREF | VT_DISPATCH;
    ppDisp.ppdispVal = answer.window.put();
    c.vt = VT_BYREF | VT_BOOL;
    c.pboolVal = &cancel;
    f.vt = VT_I4;
    f.lVal = static_cast<LONG>(flags);
    ctx.vt = VT_BSTR;
    ctx.bstrVal = context;
    u.vt = VT_BSTR;
    u.bstrVal = b;
    Raise(sink, DISPID_NEWWINDOW3, {ppDisp, c, f, ctx, u});
    SysFreeString(b);
    SysFreeString(context);
    answer.cancelled = cancel != VARIANT_FALSE;
    return answer;
}

}  // namespace rvtest
