// The show state of GTK windows: mapping (a child only while its parent is on screen),
// minimising and maximising through the window manager, activation, and what the window
// manager reports of the state it changed by itself.
#include <gtk/gtk.h>

#include <algorithm>

#include "fw/gtk/gtk_native.h"
#include "fw/gtk/window_native.h"

namespace fw::gtk::win {

namespace {

// Maximised as the window manager sees it: it keeps the state of a minimised window that
// was maximised.
bool WmMaximized(const Placement& p) { return p.maximized || (p.minimized && p.restoreToMaximized); }

// Whether the window's children may be on screen.
bool OnScreen(const Native* n) {
    const Placement& p = Place(n);
    if (!p.visible || p.minimized) return false;
    return !(n->child && n->parent) || OnScreen(n->parent);
}

gboolean OnWindowState(GtkWidget*, GdkEventWindowState* e, Native* n) {
    const Placement& p = Place(n);
    if (!p.visible) return FALSE;  // a hidden window keeps the state it was hidden in
    const bool wmMax = WmMaximized(p);
    bool minimized = p.minimized;
    bool maximized = wmMax;
    if (e->changed_mask & GDK_WINDOW_STATE_ICONIFIED)
        minimized = (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    if (e->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) {
        maximized = (e->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
        // Restored by our own request: the window manager may put the window anywhere (it
        // never knew a normal place for a window first shown maximised), so the normal
        // rectangle is asked for once more now that the change has happened. GTK drops a
        // request equal to its last one (which the window manager overrode), so the
        // request goes to the window itself.
        if (!maximized && !wmMax) {
            PushGeometry(n);
            if (GdkWindow* gw = GdkWin(n)) {
                Rect r = ScreenRect(n);
                gdk_window_move_resize(gw, r.left, r.top, std::max(1, r.Width()), std::max(1, r.Height()));
            }
            ExpectGeometry(n);
        }
    }
    if (minimized == p.minimized && maximized == wmMax) return FALSE;
    fw::detail::PlatformStateChanged(*n->owner, minimized, maximized);
    for (Native* k : n->kids)
        if (k->child) SyncMapped(k, false);
    fw::detail::NotifyPlacement(*n->owner);
    return FALSE;
}

}  // namespace

void SyncMapped(Native* n, bool activate) {
    const Placement& p = Place(n);
    bool should = p.visible && (!(n->child && n->parent) || OnScreen(n->parent));
    bool shown = gtk_widget_get_visible(n->win);
    if (should && !shown) {
        if (!p.maximized && !p.minimized) {
            // A window shown again keeps its place: re-apply the geometry.
            PushGeometry(n);
            ExpectGeometry(n);
        }
        gtk_window_set_focus_on_map(GTK_WINDOW(n->win), activate && !n->child);
        gtk_widget_show(n->win);
    } else if (!should && shown) {
        gtk_widget_hide(n->win);
    }
    for (Native* k : n->kids)
        if (k->child) SyncMapped(k, false);
}

void ConnectShow(Native* n) { g_signal_connect(n->win, "window-state-event", G_CALLBACK(OnWindowState), n); }

}  // namespace fw::gtk::win

namespace fw::backend {

using namespace fw::gtk;
using namespace fw::gtk::win;

void Show(Native* n, ShowCmd cmd, const Placement& before) {
    if (!n) return;
    const Placement& p = Place(n);
    GtkWindow* gw = GTK_WINDOW(n->win);
    if (p.visible) {
        if (before.minimized && !p.minimized) gtk_window_deiconify(gw);
        const bool wasMax = WmMaximized(before), isMax = WmMaximized(p);
        if (isMax != wasMax) {
            // The window manager maximises a toplevel onto the work area, where fw/common
            // has put it already; the configure event confirms it. A child fills its
            // parent's client area by our own geometry. A window first shown maximised gave
            // the window manager no normal size to go back to: restoring says it explicitly.
            if (!n->child) {
                if (isMax)
                    gtk_window_maximize(gw);
                else
                    gtk_window_unmaximize(gw);
            }
            if (!isMax || n->child) PushGeometry(n);
            ExpectGeometry(n);
            PlaceKids(n);
        }
        if (p.minimized && !before.minimized) gtk_window_iconify(gw);
    }
    SyncMapped(n, fw::detail::ShowActivation(cmd) == fw::detail::Activation::Activate);
}

void SetForeground(Native* n) {
    if (!n || !Place(n).visible || Place(n).minimized || !gtk_widget_get_realized(n->win)) return;
    guint32 t = ServerTime(n->win);
    gtk_window_present_with_time(GTK_WINDOW(n->win), t);
    GdkWindow* gw = GdkWin(n);
    gdk_window_raise(gw);
    gdk_window_focus(gw, t);
}

void SetFocus(Native* n) {
    if (!n || !Place(n).visible || Place(n).minimized || !gtk_widget_get_realized(n->win)) return;
    gtk_window_present_with_time(GTK_WINDOW(n->win), ServerTime(n->win));
}

}  // namespace fw::backend
