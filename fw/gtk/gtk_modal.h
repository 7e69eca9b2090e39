#pragma once
// Private to the GTK back end: what the message loop, the windows and the modal loops share
// so that a modal window's owner takes no input, and so that a control inside a window can
// have the keys before the window's own handlers.
#include <gtk/gtk.h>

#include "fw/window.h"

namespace fw::gtk {

// Running GMainLoops, innermost last: fw::Quit ends every one of them (app.cpp).
void PushLoop(GMainLoop* loop);
void PopLoop(GMainLoop* loop);

// The fw window a GtkWindow belongs to (kNoWindow for GTK's own windows: message dialogs,
// menus, tool tips). window.cpp tags each toplevel when it makes it.
void TagToplevel(GtkWidget* toplevel, Handle h);
Handle HandleOfToplevel(GtkWidget* toplevel);

// Puts an event filter in front of GTK's event handling that drops mouse and key input for
// windows that fw::IsDisabled says are disabled (once, after the toolkit started).
void InstallInputFilter();
// The window with this handle is going away: a modal loop it runs ends (window.cpp).
void ModalWindowGone(Handle h);

// A control inside a window that wants the keys itself while it has the focus (the hot-key
// field). The window then lets its message pre-translation see a key first, as a dialog
// does for its controls, and never hands the key to its own key handlers.
void MarkKeyControl(GtkWidget* w);
bool IsKeyControl(GtkWidget* w);

}  // namespace fw::gtk
