#pragma once
// <windows.h> for the framework, tamed. Every file of fw/ that needs the Windows API includes
// it through this header, and so does fw/com.h, which is the system's COM on Windows: so
// the client's own headers never meet a raw <windows.h>.
//
// The framework's constants keep the Windows values under the Windows names (fw::WM_CLOSE,
// fw::VK_F10, fw::MB_OKCANCEL, fw::IDOK, fw::HOTKEYF_ALT ...), which <windows.h> defines as
// macros, and a few functions and methods of ours share their names with its A/W macros
// (fw::MessageBox, fw::FindResource, Canvas::DrawText, app::WriteProfileString, the COM
// method TranslateAccelerator). Here, once:
//   - <windows.h> comes in lean (WIN32_LEAN_AND_MEAN, NOMINMAX, UNICODE), with the OLE,
//     automation (IDispatchEx too), browser-control and common-control headers;
//   - the A/W macros of our names are removed before the OLE headers declare their
//     interfaces, so TranslateAccelerator is the plain method name everywhere (call the
//     USER32 functions by their W names: MessageBoxW, FindResourceW, DrawTextW,
//     TranslateAcceleratorW);
//   - the system's value of every constant fw declares is kept, the macro is removed, fw's
//     declaration is checked against the kept value at compile time, and the fw constant is
//     also declared at global scope, so WM_CLOSE written in Windows code, and system macros
//     built on such names (HKM_SETHOTKEY is WM_USER + 1), mean the same value as before.
// Include further system headers (gdiplus, wininet, wincodec, shlobj ...) after this one;
// none of them defines these names again (fw/windows/api_check_win32.cpp makes sure).
#ifndef _WIN32
#error "fw/windows/windows_api.h is for Windows builds only"
#endif

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#undef TranslateAccelerator
#undef MessageBox
#undef FindResource
#undef DrawText
#undef WriteProfileString

#include <ole2.h>
#include <oleauto.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <dispex.h>
#include <commctrl.h>
#include <shellapi.h>

// clang-format 14 lays this list out differently on every run: kept as written.
// clang-format off
#define RV_FW_SYSTEM_NAMES(X) X(WM_NULL) X(WM_CREATE) X(WM_DESTROY) X(WM_MOVE) X(WM_SIZE) \
    X(WM_CLOSE) X(WM_SHOWWINDOW) X(WM_SETCURSOR) X(WM_GETMINMAXINFO) X(WM_NCHITTEST) \
    X(WM_NCLBUTTONDOWN) X(WM_KEYDOWN) X(WM_KEYUP) X(WM_SYSKEYDOWN) X(WM_SYSKEYUP) X(WM_COMMAND) \
    X(WM_SYSCOMMAND) X(WM_TIMER) X(WM_MOUSEMOVE) X(WM_LBUTTONDOWN) X(WM_LBUTTONUP) \
    X(WM_LBUTTONDBLCLK) X(WM_RBUTTONDOWN) X(WM_RBUTTONUP) X(WM_MOUSELEAVE) X(WM_HOTKEY) \
    X(WM_USER) X(SC_SIZE) X(SC_MOVE) X(SC_MINIMIZE) X(SC_MAXIMIZE) X(SC_CLOSE) X(SC_RESTORE) \
    X(SIZE_RESTORED) X(SIZE_MINIMIZED) X(SIZE_MAXIMIZED) X(HTNOWHERE) X(HTCLIENT) X(HTCAPTION) \
    X(HTLEFT) X(HTRIGHT) X(HTTOP) X(HTTOPLEFT) X(HTTOPRIGHT) X(HTBOTTOM) X(HTBOTTOMLEFT) \
    X(HTBOTTOMRIGHT) X(VK_BACK) X(VK_TAB) X(VK_RETURN) X(VK_SHIFT) X(VK_CONTROL) X(VK_MENU) \
    X(VK_ESCAPE) X(VK_SPACE) X(VK_F4) X(VK_F5) X(VK_F9) X(VK_F10) X(VK_F12) X(MOD_ALT) \
    X(MOD_CONTROL) X(MOD_SHIFT) X(MB_OK) X(MB_OKCANCEL) X(MB_YESNO) X(MB_ICONERROR) \
    X(MB_ICONQUESTION) X(MB_ICONWARNING) X(MB_ICONINFORMATION) X(IDOK) X(IDCANCEL) X(IDYES) \
    X(IDNO) X(HOTKEYF_SHIFT) X(HOTKEYF_CONTROL) X(HOTKEYF_ALT) X(HOTKEYF_EXT)
// clang-format on

namespace fw::windows_api_detail {
#define RV_FW_KEEP_SYSTEM_VALUE(name) inline constexpr auto system_##name = (name);
RV_FW_SYSTEM_NAMES(RV_FW_KEEP_SYSTEM_VALUE)
#undef RV_FW_KEEP_SYSTEM_VALUE
}  // namespace fw::windows_api_detail

#undef WM_NULL
#undef WM_CREATE
#undef WM_DESTROY
#undef WM_MOVE
#undef WM_SIZE
#undef WM_CLOSE
#undef WM_SHOWWINDOW
#undef WM_SETCURSOR
#undef WM_GETMINMAXINFO
#undef WM_NCHITTEST
#undef WM_NCLBUTTONDOWN
#undef WM_KEYDOWN
#undef WM_KEYUP
#undef WM_SYSKEYDOWN
#undef WM_SYSKEYUP
#undef WM_COMMAND
#undef WM_SYSCOMMAND
#undef WM_TIMER
#undef WM_MOUSEMOVE
#undef WM_LBUTTONDOWN
#undef WM_LBUTTONUP
#undef WM_LBUTTONDBLCLK
#undef WM_RBUTTONDOWN
#undef WM_RBUTTONUP
#undef WM_MOUSELEAVE
#undef WM_HOTKEY
#undef WM_USER
#undef SC_SIZE
#undef SC_MOVE
#undef SC_MINIMIZE
#undef SC_MAXIMIZE
#undef SC_CLOSE
#undef SC_RESTORE
#undef SIZE_RESTORED
#undef SIZE_MINIMIZED
#undef SIZE_MAXIMIZED
#undef HTNOWHERE
#undef HTCLIENT
#undef HTCAPTION
#undef HTLEFT
#undef HTRIGHT
#undef HTTOP
#undef HTTOPLEFT
#undef HTTOPRIGHT
#undef HTBOTTOM
#undef HTBOTTOMLEFT
#undef HTBOTTOMRIGHT
#undef VK_BACK
#undef VK_TAB
#undef VK_RETURN
#undef VK_SHIFT
#undef VK_CONTROL
#undef VK_MENU
#undef VK_ESCAPE
#undef VK_SPACE
#undef VK_F4
#undef VK_F5
#undef VK_F9
#undef VK_F10
#undef VK_F12
#undef MOD_ALT
#undef MOD_CONTROL
#undef MOD_SHIFT
#undef MB_OK
#undef MB_OKCANCEL
#undef MB_YESNO
#undef MB_ICONERROR
#undef MB_ICONQUESTION
#undef MB_ICONWARNING
#undef MB_ICONINFORMATION
#undef IDOK
#undef IDCANCEL
#undef IDYES
#undef IDNO
#undef HOTKEYF_SHIFT
#undef HOTKEYF_CONTROL
#undef HOTKEYF_ALT
#undef HOTKEYF_EXT

#include "fw/hotkey_field.h"
#include "fw/message_box.h"
#include "fw/messages.h"

#define RV_FW_CHECK_SYSTEM_VALUE(name)                                                                               \
    static_assert(static_cast<long long>(fw::name) == static_cast<long long>(fw::windows_api_detail::system_##name), \
                  "fw::" #name " differs from the system's value");                                                  \
    using fw::name;
RV_FW_SYSTEM_NAMES(RV_FW_CHECK_SYSTEM_VALUE)
#undef RV_FW_CHECK_SYSTEM_VALUE
