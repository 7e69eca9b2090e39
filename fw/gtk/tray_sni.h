#pragma once
// Private to the GTK back end's tray: the icon as a StatusNotifierItem (libayatana-appindicator),
// for sessions whose desktop shows such items instead of embedding XEmbed icons.
#include <gtk/gtk.h>

#include <string>

#include "fw/window.h"

namespace fw::gtk {

// True when the session bus has a StatusNotifierWatcher (the desktop shows such items).
bool StatusNotifierWatcherPresent();

struct SniIcon;
// Registers an item showing `picture` (not taken) with the tip as its title. An activation of
// the item (Activate, SecondaryActivate) is posted to wnd as callbackMsg with wParam = id and
// lParam = WM_LBUTTONDBLCLK. Null on failure.
SniIcon* SniCreate(Handle wnd, unsigned id, unsigned callbackMsg, GdkPixbuf* picture, const std::string& tip);
// The item's menu (taken: a floating or owned GtkMenu), exported to the host over dbusmenu.
void SniSetMenu(SniIcon* icon, GtkWidget* menu);
// Unregisters the item and removes its picture's file. Null is fine.
void SniDestroy(SniIcon* icon);

}  // namespace fw::gtk
