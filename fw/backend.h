#pragma once
// The interface every back end (headless, GTK, Win32) implements. Only fw/ includes this.
// The portable window logic (message routing, posting, show notifications) lives in
// fw/common and calls these functions for the platform work.
#include <string>

#include "fw/canvas.h"
#include "fw/window.h"

namespace fw::backend {

struct Native;  // one per window, defined by the back end

// Makes the platform window (not shown). Null on failure.
Native* CreateNative(Window& owner, const CreateParams& params);
void DestroyNative(Native* n);  // the window is gone afterwards; n is freed

void Show(Native* n, ShowCmd cmd);  // visibility, minimise, maximise, restore
bool IsVisible(const Native* n);
bool IsMinimized(const Native* n);
bool IsMaximized(const Native* n);
void SetForeground(Native* n);
void SetFocus(Native* n);

void SetPos(Native* n, const Rect& r, unsigned flags);
Rect WindowRect(const Native* n);  // screen coordinates (children: screen too)
void SetParent(Native* n, Native* parent);

void SetCaption(Native* n, const std::string& text);
void SetIcon(Native* n, const Image* icon);
void Invalidate(Native* n, const Rect* r);
void UpdateNow(Native* n);
void UpdateLayered(Native* n, const Bitmap& picture);
void SetCursor(Native* n, Cursor c);
void SetTimer(Native* n, unsigned id, unsigned ms);
void KillTimer(Native* n, unsigned id);
void TrackMouseLeave(Native* n);
void ReleaseCapture(Native* n);
void BeginMoveDrag(Native* n);
void BeginResizeDrag(Native* n, int hitCode);

// A message was queued from some thread: make the UI thread call
// fw::detail::DispatchPosted() soon.
void Wakeup();
// Runs the platform's loop until fw::Quit.
void RunLoop();
void QuitLoop();

}  // namespace fw::backend

namespace fw::detail {
// Delivers the messages queued by Window::Post (UI thread). Answers how many were handled.
int DispatchPosted();
// Drops every queued message undelivered (the headless desktop's reset between tests).
void DiscardPosted();
// Routes an input message through PreTranslateMessage of the target and its ancestors,
// then to the target's WindowProc. Answers true when it was dispatched (not swallowed).
bool RouteInput(Window& target, unsigned msg, WPARAM wp, LPARAM lp);
// Hands out handles and keeps the registry of live windows.
Handle Register(Window* w);
void Unregister(Handle h);
}  // namespace fw::detail

namespace fw::detail {
// Forgets the quit request and the main window (the headless desktop's reset between tests).
void ResetApp();
// Forgets when pages last had the default browser started (ShellOpenFromPage's count).
void ResetPageOpens();
}  // namespace fw::detail
