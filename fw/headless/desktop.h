#pragma once
// The headless desktop: an in-memory window system for tests. Tests drive it through this
// header (mouse and keys, the clock, scripted message-box answers) and read what the client
// did (window rectangles and visibility, layered pictures, shell opens, hot keys, tray).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fw/canvas.h"
#include "fw/common/monitors.h"
#include "fw/geometry.h"
#include "fw/window.h"

namespace fw::headless {

// Forgets every window, queue, registration and log; screen 1920x1080 with a work area of
// 1920x1040; clock at 0. Call at the start of each test.
void Reset();

// One monitor of `screen`'s size at (0, 0) with the work area `workArea`.
void SetScreen(Size screen, Rect workArea);
// Several monitors, the primary first (ScreenSize and WorkArea are its); an empty list is
// ignored. Reset goes back to the one monitor.
using Monitor = fw::detail::Monitor;
void SetMonitors(std::vector<Monitor> monitors);

// Delivers posted messages and due timers until nothing is left (bounded: at most
// maxRounds rounds). Answers how many messages were delivered.
int Pump(int maxRounds = 1000);
// Moves the clock on, firing due timers (and pumping posted messages) on the way.
void AdvanceClock(unsigned ms);
std::uint64_t NowMs();

// Input, delivered through the message loop's pre-translation like real input.
// Points are client coordinates of the window.
void MouseMove(Window& w, Point p);
void LButtonDown(Window& w, Point p);
void LButtonUp(Window& w, Point p);
void LButtonDblClk(Window& w, Point p);
void Click(Window& w, Point p);  // down and up
void KeyDown(Window& w, unsigned vk, bool alt = false);
// A system-wide key press: posts WM_HOTKEY to the window that registered the combination
// (if any). Answers whether some window had it.
bool PressHotKey(unsigned modifiers, unsigned vk);
// Another program holds this combination: registering it fails.
void SetHotKeyTaken(unsigned modifiers, unsigned vk, bool taken = true);
struct HotKeyReg {
    Handle wnd;
    int id;
    unsigned modifiers;
    unsigned vk;
};
std::vector<HotKeyReg> HotKeys();
// Whether MuteAllPages has the pages silenced.
bool PagesMuted();

// Message boxes: answers are taken from this queue in order; with an empty queue a box
// answers IDCANCEL for OK/Cancel and Yes/No boxes and IDOK for an OK box.
void QueueMessageBoxAnswer(int answer);
struct MessageBoxCall {
    Handle owner;
    std::string text;
    std::string caption;
    unsigned flags;
    int answer;
};
const std::vector<MessageBoxCall>& MessageBoxes();
// Runs while a message box is up (before it answers), e.g. to check state.
void OnMessageBox(std::function<void(const MessageBoxCall&)> hook);

// Addresses handed to the default browser.
const std::vector<std::string>& ShellOpens();

// The tray.
struct TrayIcon {
    Handle wnd;
    unsigned id;
    unsigned callbackMsg;
    std::string tip;
    bool hasIcon;
    std::vector<std::string> menu;  // the texts TraySetMenu gave it
};
std::vector<TrayIcon> TrayIcons();
// Simulates a mouse event on the icon (posts the callback message), then pumps.
void TrayEvent(unsigned id, unsigned mouseMsg);
// The last pop-up menu shown, and choosing an item from it (posts WM_COMMAND).
struct PopupMenu {
    Handle wnd;
    std::vector<std::string> texts;
    std::vector<unsigned> commands;
    Point at;
};
std::optional<PopupMenu> LastPopupMenu();
void ChooseMenuItem(unsigned command);
void SetCursorPos(Point screen);

// Window facts.
struct WindowInfo {
    bool visible = false;
    bool minimized = false;
    bool maximized = false;
    bool layered = false;
    bool topmost = false;
    Rect rect{};
    std::string caption;
    Cursor cursor = Cursor::Arrow;
    int layeredUpdates = 0;  // how many times UpdateLayered was called
    int moveDrags = 0;       // move-by-caption drags started
    int resizeDrags = 0;
    int lastResizeHit = 0;
    bool hasIcon = false;
    std::vector<unsigned> timers;
    bool trackingLeave = false;
};
WindowInfo Info(const Window& w);
// The last picture given to UpdateLayered (null when none).
const Bitmap* LayeredPicture(const Window& w);
// Paints an ordinary window now and answers the picture.
Bitmap PaintWindow(Window& w);
// The window in the foreground (kNoWindow when none).
Handle Foreground();
// Windows still alive.
std::vector<Handle> LiveWindows();

// A drag in progress moves the window by (dx, dy), as the user's mouse would.
void DragBy(Window& w, int dx, int dy);
// The window system minimises, maximises or restores a top-level window by itself (the user
// through the taskbar or the window manager's keys): a window it maximises goes onto the
// work area of its monitor, one it restores from maximised back to its normal rectangle.
void SystemSetsState(Window& w, bool minimized, bool maximized);

}  // namespace fw::headless
