// Tool tips on Win32: one tracking tool tip of the system's common controls per window,
// shown by hand under the mouse point and kept on the screen. It goes down when its window
// hides, is minimised or is destroyed.
#include "fw/win32/native.h"

#include <algorithm>
#include <map>

#include "fw/system.h"
#include "fw/tooltip.h"
#include "fw/windows/wide.h"

namespace fw::win32 {

namespace {

constexpr int kBelowPointer = 20;  // the tip sits under the mouse pointer, as the system puts it

struct Tip {
    HWND tip = nullptr;
    HWND owner = nullptr;
    bool up = false;
    std::wstring text;  // kept alive while the control shows it
};

std::map<Handle, Tip>& Tips() {
    static std::map<Handle, Tip> tips;
    return tips;
}

TTTOOLINFOW ToolInfo(Tip& t) {
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    ti.hwnd = t.owner;
    ti.uId = 1;
    ti.lpszText = t.text.data();
    return ti;
}

Tip* Make(Handle h, HWND owner) {
    Tip& t = Tips()[h];
    if (t.tip && IsWindow(t.tip)) return &t;
    t.owner = owner;
    t.tip = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, owner, nullptr, Instance(), nullptr);
    if (!t.tip) {
        Tips().erase(h);
        return nullptr;
    }
    t.text = L" ";
    TTTOOLINFOW ti = ToolInfo(t);
    SendMessageW(t.tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    SendMessageW(t.tip, TTM_SETMAXTIPWIDTH, 0, 400);
    return &t;
}

void TakeDown(Tip& t) {
    if (!t.up) return;
    t.up = false;
    if (t.tip && IsWindow(t.tip)) {
        TTTOOLINFOW ti = ToolInfo(t);
        SendMessageW(t.tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
    }
}

bool OnScreen(const Window& w) { return w.IsWindow() && w.IsVisible() && !w.IsMinimized(); }

}  // namespace

void HideTooltipOf(Handle h) {
    auto it = Tips().find(h);
    if (it != Tips().end()) TakeDown(it->second);
}

void ForgetTooltip(Handle h) {
    auto it = Tips().find(h);
    if (it == Tips().end()) return;
    if (it->second.tip && IsWindow(it->second.tip)) DestroyWindow(it->second.tip);
    Tips().erase(it);
}

}  // namespace fw::win32

namespace fw {

using namespace fw::win32;

void ShowTooltip(Window& w, const std::string& text, Point client) {
    if (!w.IsWindow()) return;
    if (text.empty() || !OnScreen(w)) {
        HideTooltip(w);
        return;
    }
    HWND owner = HwndOf(w.handle());
    Tip* t = owner ? Make(w.handle(), owner) : nullptr;
    if (!t) return;
    t->text = windows::Wide(text);
    TTTOOLINFOW ti = ToolInfo(*t);
    SendMessageW(t->tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    // Below and to the right of the point, moved back onto the screen where it would leave it.
    const Point at = w.ClientToScreen(client);
    const DWORD bubble = static_cast<DWORD>(SendMessageW(t->tip, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&ti)));
    const int bw = LOWORD(bubble), bh = HIWORD(bubble);
    const Size screen = ScreenSize();
    int x = std::max(0, std::min(at.x, screen.cx - bw));
    int y = at.y + kBelowPointer;
    if (y + bh > screen.cy) y = std::max(0, at.y - bh);
    SendMessageW(t->tip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
    SendMessageW(t->tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
    t->up = true;
}

void HideTooltip(Window& w) {
    if (w.IsWindow()) HideTooltipOf(w.handle());
}

bool TooltipVisible(const Window& w) {
    if (!w.IsWindow()) return false;
    auto it = Tips().find(w.handle());
    if (it == Tips().end()) return false;
    if (!OnScreen(w)) TakeDown(it->second);
    return it->second.up && IsWindowVisible(it->second.tip);
}

}  // namespace fw
