#pragma once
// Everything a back end supplies, in one place. Only fw/ includes this header.
//
// A back end is one folder of fw/ (headless/, gtk/, win32/), linked with fw/common,
// the portable part, and with the platform services of its system (posix/ on Linux,
// windows/ on Windows). The
// other headers of fw/ are the client's API. Some of their functions are the back end's to
// define; they are listed below with the rules they keep, and the functions in namespace
// fw::backend are declared here. fw/BACKENDS.md says how the pieces fit and what a new back
// end starts from.
//
// Threads: one UI thread calls everything here, except backend::Wakeup, which any thread
// may call.
//
// The Windows rules of windows live in fw/common, once: which show command activates, how
// minimising, maximising and restoring change a window's state and rectangle, and which
// WM_MOVE and WM_SIZE a change sends (never the same twice in a row). fw/common keeps each
// window's Placement; a back end reads it, makes the platform window match it when the
// client changed it, and reports what the platform changed by itself (the user through the
// window manager) with PlatformMoved and PlatformStateChanged, then NotifyPlacement.
#include <functional>
#include <string>
#include <vector>

#include "fw/canvas.h"
#include "fw/window.h"

namespace fw::backend {

// ---- Windows ---------------------------------------------------------------------------

struct Native;  // one per window, defined by the back end

// Where a window is and in which state. fw/common keeps it and changes it; back ends read it
// through detail::PlacementOf.
struct Placement {
    bool visible = false;
    bool minimized = false;  // never also maximized
    bool maximized = false;
    bool restoreToMaximized = false;  // minimised from maximised: restoring maximises again
    Rect rect{};                      // screen coordinates; a child's are its parent's client coordinates
    Rect normalRect{};                // where restoring puts a maximised window (meaningful while maximised,
                                      // or minimised with restoreToMaximized)
};

// Makes the platform window (not shown) at PlacementOf(owner).rect. Null on failure; the
// window then does not exist. A child (kChild with a parent) lives in its parent's client
// area and follows it; an owned pop-up stays above its owner.
Native* CreateNative(Window& owner, const CreateParams& params);
// Destroys the platform window: first every window it is the parent or owner of (through
// Window::Destroy, after the parent's own WM_DESTROY), then its timers, hot keys and tray
// icons. n is freed (later is fine, once nothing of the platform refers to it any more).
void DestroyNative(Native* n);

// The client asked for ShowCmd `cmd`: the placement went from `before` to what PlacementOf
// now answers (WM_SHOWWINDOW has been sent; WM_MOVE and WM_SIZE follow after this returns).
// Make the platform window match: visibility, minimised, maximised, the rectangle, and the
// activation that ShowActivation(cmd) asks for.
void Show(Native* n, ShowCmd cmd, const Placement& before);
// The window takes the foreground (activation and keyboard focus), or only the focus. A
// platform that cannot activate a hidden or minimised window ignores the request.
void SetForeground(Native* n);
void SetFocus(Native* n);
// The program's top-level windows (no children), bottom of the stacking order first: those
// the platform knows the order of; the others may be anywhere in the list. And the one
// that has the keyboard focus (null: none of the program's).
std::vector<Handle> StackingOrder();
Handle FocusedTopLevel();
// The client moved or sized the window from `before` to PlacementOf(...).rect (which may be
// the same when only the z-order is asked for): move the platform window, the children with
// it, and raise it for kTopOfZOrder unless kNoZOrder is set. A maximised window stays
// maximised.
void SetPos(Native* n, const Rect& before, unsigned flags);

void SetCaption(Native* n, const std::string& text);  // text is UTF-8 (may be invalid)
void SetIcon(Native* n, const Image* icon);           // null or invalid: no icon
// Ordinary windows: paint again soon (the whole window: OnPaint draws all of it through
// Window::PaintInto); UpdateNow paints what is due at once. Layered windows never paint.
void Invalidate(Native* n, const Rect* r);
void UpdateNow(Native* n);
// Show this picture (not empty) with per-pixel alpha; clicks on fully transparent pixels
// go to whatever lies below. fw/common then sizes the window to the picture.
void UpdateLayered(Native* n, const Bitmap& picture);
void SetCursor(Native* n, Cursor c);
// WM_TIMER every `ms` (at least 10) through detail::RouteInput until killed or the window
// goes; setting an id again restarts its period.
void SetTimer(Native* n, unsigned id, unsigned ms);
void KillTimer(Native* n, unsigned id);
// One WM_MOUSELEAVE (through detail::RouteInput) when the mouse next leaves the window.
// Windows and the headless desktop post it at once when the mouse is not over the window
// now; GTK waits for the next leave (the client asks only while the mouse is over it).
void TrackMouseLeave(Native* n);
void ReleaseCapture(Native* n);
// The user's drag with the button that is down: moving the window, or sizing it by an edge
// (hit-test code HTLEFT ... HTBOTTOMRIGHT) no smaller than what WM_GETMINMAXINFO answers.
// The platform's changes come back through PlatformMoved.
void BeginMoveDrag(Native* n);
void BeginResizeDrag(Native* n, int hitCode);

// Input the back end turns into messages: mouse messages carry client coordinates (non-client
// ones screen coordinates) in lParam, WM_NCHITTEST and WM_SETCURSOR come before each mouse
// message, a second press soon after the first is WM_LBUTTONDBLCLK, keys are Windows virtual
// keys with WM_SYSKEYDOWN for Alt combinations and F10; all through detail::RouteInput. A
// close asked for by the platform is WM_SYSCOMMAND SC_CLOSE.

// ---- The message loop ------------------------------------------------------------------

// A message was queued from some thread: make the UI thread call detail::DispatchPosted()
// soon. Any thread.
void Wakeup();
// Runs the platform's loop (posted messages, timers, input) until QuitLoop. (The headless
// desktop's also ends when nothing is left to deliver: its clock moves only in tests.)
void RunLoop();
// fw::Quit was called: every running loop ends, nested ones included. Called before RunLoop,
// the next RunLoop returns at once.
void QuitLoop();

// ---- Modal loops (fw/dialog.h) ---------------------------------------------------------
//
// fw/common keeps the running modal loops, answers IsModalRunning and IsDisabled, shows the
// dialog, activates the owner again afterwards and gives RunModal its answer. A back end
// only runs the nested loop and wakes it.

// Runs a nested message loop for the modal window `dlg` (already shown) that delivers every
// window's messages, posted ones and timers alike, as the main loop does. It returns as soon
// as one of these holds:
//   - `ended` is true (EndModal was called; it may already be true on entry);
//   - the window that had dlg's handle on entry no longer exists (check through the handle:
//     `dlg` may be deleted together with its window, so never touch it once it is gone);
//   - the program is quitting (fw::QuitRequested()).
// Mouse and key input is dropped for every window for which fw::IsDisabled answers true
// while the loop runs (the owner and its children), as a disabled window takes none. Nested
// calls (a modal window opened from a modal window) must work.
void RunModalLoop(Window& dlg, const bool& ended);
// EndModal was called for some running loop: a loop that blocks waiting for events must
// return to look at its condition. May be called when no loop runs.
void WakeModalLoop();

// ---- Platform services -----------------------------------------------------------------
//
// Defined by the services of the system (fw/posix on Linux; fw/windows on Windows: WIC, GDI+
// and the code-page functions), shared by every back end of that system:
//   image.h   Image::FromPng (any PNG to premultiplied ARGB32; bad bytes: an invalid image),
//             Font::Exists
//   canvas.h  Canvas::DrawText, both forms (text stops at a zero; invalid UTF-8 drawn as
//             U+FFFD; grayscale antialiasing, so the pixels stay premultiplied)
//   text.h    Utf8ToCp936, Cp936ToUtf8, Utf8ToSystem, SystemToUtf8 ('?' for what the target
//             cannot hold)
//   system.h  ExecutablePath, TrimOwnWorkingSet, ThreadSchedTimes (any thread)
//   library.h LoadSharedLibrary, FindSymbol, SharedLibraryName (any thread)
// and this one, which back ends call at start-up (InitPlatform, the headless Reset):

// Makes the Windows face names the client asks for (宋体, 微软雅黑 ...) find fonts with
// Chinese glyph forms. Once per process; any thread. Nothing to do where the system has them.
void InstallFontAliases();

// ---- The client's API a back end defines -----------------------------------------------
//
//   app.h          InitPlatform: starts the toolkit; a failure leaves the platform unusable
//                  (CreateNative then fails) but returns.
//   system.h       ScreenSize, WorkArea (the primary screen), TrimAllWorkingSets (any
//                  thread), ClearBrowserDataExceptCookies (`done` on the UI thread once
//                  finished), BrowserDataClearsOnAnyThread (whether that call may come from
//                  a worker and finish there), BrowserCacheFolder
//   hotkey.h       RegisterHotKey, UnregisterHotKey (one owner per combination, as Windows:
//                  a second registration fails; MOD_NOREPEAT ignored; a window's keys go with
//                  it; a press posts WM_HOTKEY: on X once however long the key is held, on
//                  Windows again with each auto-repeat, as the system sends it), KeyName
//   tray.h         TrayAdd, TrayDelete (icons go with their window), TraySetMenu (kept for an
//                  icon whose menu the desktop shows), TrackPopupMenu (returns at once; the
//                  choice is posted as WM_COMMAND), GetCursorPos
//   message_box.h  MessageBox (modal; Return answers OK or Yes; Escape and closing answer
//                  Cancel or No, OK in a box with OK alone)
//   shell.h        ShellOpenUrl (only what IsWebAddress accepts)
//   tooltip.h      ShowTooltip, HideTooltip, TooltipVisible (down while the window is hidden or
//                  minimised)
//   hotkey_field.h HotKeyField::Create
//   browser.h      BrowserControl::Create (the control's COM face: fw/common/browser_base.h)

}  // namespace fw::backend

// ---- What fw/common offers a back end ------------------------------------------------------

namespace fw::detail {

// Delivers the messages queued by Window::Post (UI thread). Answers how many were handled.
int DispatchPosted();
// The main window's timer id for the UI thread's tick mark (fw/trace.h), kept from the
// client's own timers: RouteInput marks it and hands it to no window.
inline constexpr unsigned kTraceTickTimer = 0x7A1C0000;
// Routes an input message through PreTranslateMessage of the target and its ancestors,
// then to the target's WindowProc. Answers true when it was dispatched (not swallowed).
bool RouteInput(Window& target, unsigned msg, WPARAM wp, LPARAM lp);
// The pre-translation alone: true when the target or an ancestor swallowed the message, or
// a window on the way went away (the message must not go on).
bool PreTranslated(Window& target, unsigned msg, WPARAM wp, LPARAM lp);

// A key bound for a control inside `owner` (the innermost fw window around it): the
// pre-translation of the owner and its ancestors, then the owner's KeyForControl. `translate`
// runs the control's accelerator translation and answers whether the control took the key
// (a control without one answers false). Answers true when the key is then to be dispatched
// to the control; false when it was swallowed, taken, or a window on the way went away.
bool RouteControlKey(Window& owner, unsigned msg, WPARAM wp, LPARAM lp, const std::function<bool()>& translate);

// The window's placement (valid while the window object lives).
const backend::Placement& PlacementOf(const Window& w);

// What a show command does to the activation.
enum class Activation { Activate, Deactivate, Keep };
Activation ShowActivation(ShowCmd cmd);

// The platform moved or sized the window by itself (the window manager, the user's drag):
// `screen` is where it is now, in screen coordinates. A child's rectangle is kept in its
// parent's client coordinates.
void PlatformMoved(Window& w, const Rect& screen);
// The platform minimised, maximised or restored the window by itself. A window that becomes
// maximised from its normal state keeps its rectangle as the one to restore to; one that is
// minimised from maximised is restored to maximised.
void PlatformStateChanged(Window& w, bool minimized, bool maximized);
// Sends WM_MOVE (not while minimised) and WM_SIZE for what differs from the last ones sent
// (both, with `force`); a window starts as if told of the rectangle it was created with.
// False when the window did not survive its handlers.
bool NotifyPlacement(Window& w, bool force = false);

// Whether a pop-up asked to show waits instead, its owner hidden by a HiddenWindows set
// (fw/hidden_windows.h); the set shows it when it brings the owner back.
bool DeferShowWhileHidden(Window& w);

// The headless desktop's reset between tests: every queued message is dropped, the quit
// request and the main window are forgotten.
void DiscardPosted();
void ResetApp();
// Forgets when pages last had the default browser started (ShellOpenFromPage's count).
void ResetPageOpens();
}  // namespace fw::detail
