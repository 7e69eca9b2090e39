#pragma once
// Message numbers, commands and codes. They keep the Windows values, so the client's
// numbered messages mean the same thing on every back end.
#include <cstdint>

namespace fw {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr unsigned WM_NULL = 0x0000;
constexpr unsigned WM_CREATE = 0x0001;
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_MOVE = 0x0003;
constexpr unsigned WM_SIZE = 0x0005;
constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_SHOWWINDOW = 0x0018;
constexpr unsigned WM_SETCURSOR = 0x0020;
constexpr unsigned WM_GETMINMAXINFO = 0x0024;
constexpr unsigned WM_NCHITTEST = 0x0084;
constexpr unsigned WM_NCLBUTTONDOWN = 0x00A1;
constexpr unsigned WM_KEYDOWN = 0x0100;
constexpr unsigned WM_KEYUP = 0x0101;
constexpr unsigned WM_SYSKEYDOWN = 0x0104;
constexpr unsigned WM_SYSKEYUP = 0x0105;
constexpr unsigned WM_COMMAND = 0x0111;
constexpr unsigned WM_SYSCOMMAND = 0x0112;
constexpr unsigned WM_TIMER = 0x0113;
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned WM_MOUSELEAVE = 0x02A3;
constexpr unsigned WM_HOTKEY = 0x0312;
// What a process of the program told its hot-key group (fw/hotkey.h). In the range Windows
// leaves to applications (WM_APP to 0xBFFF), away from the client's WM_USER messages.
constexpr unsigned WM_HOTKEY_GROUP = 0xBF00;
constexpr unsigned WM_USER = 0x0400;

// WM_SYSCOMMAND codes.
constexpr unsigned SC_SIZE = 0xF000;
constexpr unsigned SC_MOVE = 0xF010;
constexpr unsigned SC_DRAGMOVE = 0xF012;  // SC_MOVE | HTCAPTION: move by the caption
constexpr unsigned SC_MINIMIZE = 0xF020;
constexpr unsigned SC_MAXIMIZE = 0xF030;
constexpr unsigned SC_CLOSE = 0xF060;
constexpr unsigned SC_RESTORE = 0xF120;

// WM_SIZE types.
constexpr unsigned SIZE_RESTORED = 0;
constexpr unsigned SIZE_MINIMIZED = 1;
constexpr unsigned SIZE_MAXIMIZED = 2;

// Hit-test codes.
constexpr int HTNOWHERE = 0;
constexpr int HTCLIENT = 1;
constexpr int HTCAPTION = 2;
constexpr int HTLEFT = 10;
constexpr int HTRIGHT = 11;
constexpr int HTTOP = 12;
constexpr int HTTOPLEFT = 13;
constexpr int HTTOPRIGHT = 14;
constexpr int HTBOTTOM = 15;
constexpr int HTBOTTOMLEFT = 16;
constexpr int HTBOTTOMRIGHT = 17;

// Virtual-key codes used by the client (Windows values on every platform).
constexpr unsigned VK_BACK = 0x08;
constexpr unsigned VK_TAB = 0x09;
constexpr unsigned VK_RETURN = 0x0D;
constexpr unsigned VK_SHIFT = 0x10;
constexpr unsigned VK_CONTROL = 0x11;
constexpr unsigned VK_MENU = 0x12;
constexpr unsigned VK_ESCAPE = 0x1B;
constexpr unsigned VK_SPACE = 0x20;
constexpr unsigned VK_F4 = 0x73;
constexpr unsigned VK_F5 = 0x74;
constexpr unsigned VK_F9 = 0x78;
constexpr unsigned VK_F10 = 0x79;
constexpr unsigned VK_F12 = 0x7B;

// Hot-key registration modifiers.
constexpr unsigned MOD_ALT = 0x1;
constexpr unsigned MOD_CONTROL = 0x2;
constexpr unsigned MOD_SHIFT = 0x4;

// Packed mouse position in lParam, as the mouse messages carry it.
constexpr LPARAM MakePointParam(int x, int y) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(x)) |
                               (static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16));
}
constexpr int PointParamX(LPARAM l) { return static_cast<std::int16_t>(l & 0xFFFF); }
constexpr int PointParamY(LPARAM l) { return static_cast<std::int16_t>((l >> 16) & 0xFFFF); }

}  // namespace fw
