#pragma once
// Private to the GTK back end: the pieces its files share, and the hooks other parts of the
// back end (the browser views) use to put widgets into a window.
#include <gtk/gtk.h>

#include <cstdint>
#include <string>

#include "fw/image.h"
#include "fw/window.h"

struct _XDisplay;

namespace fw::gtk {

// True once the toolkit is up and a display is open.
bool Ready();
// The X display GDK talks to; null when there is none or it is not X.
_XDisplay* X11Display();

// The toplevel GtkWindow of a window, and the container in it where child widgets (browser
// views) are placed at pixel positions. Null for a null native.
GtkWindow* ToplevelOf(backend::Native* n);
GtkFixed* ContainerOf(backend::Native* n);
backend::Native* NativeOf(Handle h);

// Forgetting what belongs to a window that goes away.
void ForgetHotKeys(Handle wnd);
void ForgetHotKeyGroups(Handle wnd);
void ForgetTrayIcons(Handle wnd);
// A top-level window of the program was shown or hidden: the hot-key groups' peers learn
// whether the program still shows a window.
void HotKeyGroupsShownChanged();

// Windows virtual-key codes and X key symbols (the same numbers as GDK key values).
// 0 when there is no equivalent.
unsigned VkFromKeysym(unsigned keysym);
unsigned KeysymFromVk(unsigned vk);
// The virtual key of a key event: the key's symbol without Shift, Ctrl or Alt applied, so
// Shift+1 answers '1' as on Windows.
unsigned VkFromKeyEvent(const GdkEventKey* e);

// A picture as a GdkPixbuf (straight RGBA). Null for a null or invalid image.
GdkPixbuf* PixbufFromImage(const Image* img);

// Text handed to GTK must be valid UTF-8.
std::string ValidUtf8(const std::string& s);

// The X server's time, for focus requests that window managers accept.
guint32 ServerTime(GtkWidget* w);

// Does now what the toolkit would otherwise do on demand while the first windows are made and
// what needs the dynamic loader (loading a library, starting a thread): Xlib's libXcursor (at
// the first one-bit pixmap; the tray icon makes one), GIO's modules (at the first file
// object; the theme is read through one) and Pango's font map with its thread (at the first
// text a widget measures).
void StartLazyPartsNow();

}  // namespace fw::gtk
