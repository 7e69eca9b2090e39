#pragma once
// Private to the Win32 back end: a window's native part and what the files share.
//
// Every fw::Window is one window of our class on raw Win32: a top-level WS_POPUP window (owned
// by its parent's window when it has one), or a WS_CHILD window for kChild. The placement
// (visibility, minimised and maximised state, rectangle) is fw/common's; these files make the
// system's window match it with ShowWindow and SetWindowPos, and report what the system or the
// user changed by itself (WM_WINDOWPOSCHANGED) with PlatformMoved, PlatformStateChanged and
// NotifyPlacement.
//
//   app.cpp          start-up, the message loops (main, modal, drags), posting, running later
//   window.cpp       making and ending windows, the window procedure, showing and placing
//   stacking.cpp     the stacking order of the program's windows, and the focused one
//   paint.cpp        double-buffered painting, layered windows, icons from pictures
//   services.cpp     hot keys, tray, menus, message boxes, the shell, screen, browser data
//   hotkey_group.cpp one hot key shared by the program's processes (a window property and a
//                    registered message)
//   audio.cpp        the process's audio session: muting every page
//   tooltip.cpp      tool tips
//   hotkey_field.cpp the system's hot-key control
//   browser.cpp      the WebBrowser control in our own OLE container (browser_site.h: its
//                    container browser_site.cpp, its events browser_events.cpp, the
//                    engine's settings browser_settings.cpp)
//   popup.cpp        the windows a page opens: plain browser windows owned by the page's window
//   entry.cpp        wWinMain
#include "fw/windows/windows_api.h"

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "fw/backend.h"
#include "fw/common/monitors.h"
#include "fw/win32/testing.h"

namespace fw::backend {

struct Native {
    Window* owner = nullptr;
    Handle handle = kNoWindow;
    HWND hwnd = nullptr;       // null once the system's window is gone
    Native* parent = nullptr;  // parent of a child, owner of a pop-up
    bool child = false;        // WS_CHILD in the parent's client area
    bool layered = false;      // shows the picture of UpdateLayered, never paints
    int applying = 0;          // > 0 while we change the window ourselves: no reports then
    Cursor cursor = Cursor::Arrow;
    std::set<unsigned> timers;
    HICON bigIcon = nullptr, smallIcon = nullptr;
    Bitmap back;                   // back buffer of an ordinary window
    HBITMAP layeredDib = nullptr;  // the DIB section of the last layered picture
    void* layeredBits = nullptr;
    int layeredW = 0, layeredH = 0;
};

}  // namespace fw::backend

namespace fw::win32 {

using backend::Native;
using backend::Placement;

// The class of every fw window, and the module the program was loaded from.
constexpr const wchar_t* kWindowClass = L"RaduVoveWindow";
HINSTANCE Instance();

inline bool Alive(Handle h) { return Window::FromHandle(h) != nullptr; }
inline const Placement& Place(const Native* n) { return fw::detail::PlacementOf(*n->owner); }

// The Native of a window of our class; null for any other window.
Native* NativeOfHwnd(HWND hwnd);
// The nearest fw window at or above `hwnd` (walking up parents), or null.
Native* EnclosingNative(HWND hwnd);

// app.cpp
// Started once by InitPlatform (the window classes, OLE, common controls, GDI+); safe to call
// again. False when windows cannot be made.
bool EnsureStarted();
// Runs `fn` on the UI thread from its message loop (any loop, the system's modal ones
// included) soon. Any thread.
void RunSoon(std::function<void()> fn);
// One message as our loops handle it: a key bound for a control inside an fw window (the
// browser, the hot-key field) goes through that window's pre-translation, then the window's
// KeyForControl shares it between the browser's accelerator hand-over and the dispatch
// (detail::RouteControlKey); anything else is translated and dispatched.
void ProcessMessage(MSG& m);
// Natives whose window is gone, freed when no window procedure can hold them any more.
void Bury(Native* n);

// window.cpp
LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// Screen origin of the window's rectangle (a child's is its parent's client origin plus its
// offset).
Point ScreenOrigin(const Native* n);
// The system windows of the live top-level fw windows.
std::vector<HWND> TopLevelWindows();

// paint.cpp
void Paint(Native* n);
void DropLayered(Native* n);
// An icon of this size made from a picture (scaled by averaging); null for none.
HICON IconFromImage(const Image* img, int size);

// tooltip.cpp: the window's tip goes down (it hides, is minimised or is destroyed).
void HideTooltipOf(Handle h);
void ForgetTooltip(Handle h);

// services.cpp: the monitor the system gives `r` (the one holding most of it, else the
// nearest), its rectangle and work area in screen coordinates.
fw::detail::Monitor MonitorOfRect(const Rect& r);
// services.cpp: what a window that goes takes with it.
void ForgetHotKeys(Native* n);
void ForgetTrayIcons(Native* n);

// hotkey_group.cpp: the window leaves its hot-key groups (it is going); and the group's
// registered message, handled (true) when `msg` is it.
void ForgetHotKeyGroups(Native* n);
bool HotKeyGroupMessage(Native* n, UINT msg, WPARAM wp, LPARAM lp);

// browser_site.cpp: the key hand-over to the browser control that holds `hwnd` (inside its
// window); true when the control took the key.
bool BrowserTranslateAccelerator(HWND hwnd, MSG& m);
bool RegisterBrowserHostClass();
// browser.cpp: a control in a window of the back end's own that is no fw window (a pop-up);
// null when it cannot be made. BrowserControl::Create is this for the system's window of an
// fw window.
std::unique_ptr<BrowserControl> CreateBrowser(HWND parent, int id, const Rect& rect);
// browser_settings.cpp: the control's settings for this program, once before the first
// control: pages render in the control's current mode, and the protections a browser turns
// on are on.
void ConfigureBrowserEngine();

// popup.cpp
bool RegisterPopupClass();
// Opens the page's new window that the host let through: a pop-up owned by `owner` (the
// top-level window of the control that asked) whose control goes back through NewWindow3's
// ppDisp; `url` is its title until its page names one, `silent` the asking control's. False,
// with nothing opened, when it cannot (no ppDisp to fill, no owner, no control).
bool OpenPopup(HWND owner, VARIANT* ppDisp, const std::string& url, bool silent);
// The client showed or hid the top-level window `owner`: its pop-ups on the screen are hidden
// with it, and those it hid come back with it.
void PopupsFollowOwner(HWND owner, bool shown);

}  // namespace fw::win32
