// The show state of GTK windows: mapping (a child only while its parent is on screen; a
// window hidden while managed only once the window manager has withdrawn it, and its
// keyboard focus handed to the root window as it hides), minimising and maximising through
// the window manager, activation, and what the window manager reports of the state it
// changed by itself.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <utility>

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

// A window that hides while it has the keyboard focus hands the focus to the desktop (the
// root window under the pointer) first. Left to itself the focus may fall to None until the
// window manager picks another window: at once on an idle machine, after a long while under
// load, never on a desktop with nothing else to focus. With the focus on None the X server
// drops every key press, those of the hot keys too, so the boss key could not bring back the
// window it had just hidden. A window manager that focuses another window still does so.
void GiveFocusToDesktop(Native* n) {
    GdkWindow* gw = GdkWin(n);
    if (!gw || !GDK_IS_X11_WINDOW(gw)) return;
    GdkDisplay* d = gdk_window_get_display(gw);
    Display* dpy = GDK_DISPLAY_XDISPLAY(d);
    // The server is asked: GTK's own idea of the active window lags behind a window manager
    // that has just focused another one of ours (the game window made as the launcher hides).
    ::Window focus = None;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    if (focus != GDK_WINDOW_XID(gw)) return;
    // The server's time: the focus change that made the window active is older, so the
    // request is never refused as out of date.
    gdk_x11_display_error_trap_push(d);
    XSetInputFocus(dpy, PointerRoot, RevertToPointerRoot, CurrentTime);
    gdk_x11_display_error_trap_pop_ignored(d);
}

// A window mapped again before the window manager has finished withdrawing it may stay
// unmapped: the window manager takes the map request for the frame it is about to drop.
// So a window that was hidden while managed is mapped again only once the window manager
// has withdrawn it (ICCCM: WM_STATE deleted or Withdrawn), or after this long, for a window
// manager that never says so.
constexpr guint kWithdrawWaitMs = 2000;

Atom WmStateAtom(GdkDisplay* d) { return gdk_x11_get_xatom_by_name_for_display(d, "WM_STATE"); }

// WM_STATE of the window: -1 without the property, else its state (0 is Withdrawn).
long WmState(Native* n) {
    GdkWindow* gw = GdkWin(n);
    if (!gw || !GDK_IS_X11_WINDOW(gw)) return -1;
    GdkDisplay* d = gdk_window_get_display(gw);
    const Atom wmState = WmStateAtom(d);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    gdk_x11_display_error_trap_push(d);
    const int status = XGetWindowProperty(GDK_DISPLAY_XDISPLAY(d), GDK_WINDOW_XID(gw), wmState, 0, 1, False, wmState,
                                          &type, &format, &count, &after, &data);
    gdk_x11_display_error_trap_pop_ignored(d);
    long state = -1;
    if (status == Success && type == wmState && format == 32 && count == 1 && data)
        state = static_cast<long>(reinterpret_cast<unsigned long*>(data)[0]);
    if (data) XFree(data);
    return state;
}

void EndWithdrawWait(Native* n) {
    if (n->withdrawSource) g_source_remove(n->withdrawSource);
    n->withdrawSource = 0;
    if (!n->mapWaiting) return;
    n->mapWaiting = false;
    const bool foreground = std::exchange(n->mapForeground, false);
    SyncMapped(n, n->mapActivate);
    if (foreground) backend::SetForeground(n);
}

gboolean WithdrawWaitOver(gpointer data) {
    auto* n = static_cast<Native*>(data);
    n->withdrawSource = 0;
    EndWithdrawWait(n);
    return G_SOURCE_REMOVE;
}

gboolean OnProperty(GtkWidget*, GdkEventProperty* e, Native* n) {
    if (!n->withdrawSource || gdk_x11_atom_to_xatom_for_display(gdk_window_get_display(e->window), e->atom) !=
                                  WmStateAtom(gdk_window_get_display(e->window)))
        return FALSE;
    if (e->state == GDK_PROPERTY_DELETE || WmState(n) == WithdrawnState) EndWithdrawWait(n);
    return FALSE;
}

}  // namespace

void SyncMapped(Native* n, bool activate) {
    const Placement& p = Place(n);
    bool should = p.visible && (!(n->child && n->parent) || OnScreen(n->parent));
    bool shown = gtk_widget_get_visible(n->win);
    if (should && !shown && n->withdrawSource) {
        n->mapWaiting = true;  // mapped once the window manager has let the window go
        n->mapActivate = n->mapActivate || activate;
    } else if (should && !shown) {
        n->mapActivate = false;
        if (!p.maximized && !p.minimized) {
            // A window shown again keeps its place: re-apply the geometry.
            PushGeometry(n);
            ExpectGeometry(n);
        }
        gtk_window_set_focus_on_map(GTK_WINDOW(n->win), activate && !n->child);
        gtk_widget_show(n->win);
    } else if (!should && shown) {
        GiveFocusToDesktop(n);
        const long managed = WmState(n);
        gtk_widget_hide(n->win);
        if (managed > 0 && !n->withdrawSource) n->withdrawSource = g_timeout_add(kWithdrawWaitMs, WithdrawWaitOver, n);
    } else if (!should) {
        n->mapWaiting = n->mapForeground = false;  // hidden again before the wait was over
    }
    if (!n->child) HotKeyGroupsShownChanged();
    for (Native* k : n->kids)
        if (k->child) SyncMapped(k, false);
}

void ConnectShow(Native* n) {
    g_signal_connect(n->win, "window-state-event", G_CALLBACK(OnWindowState), n);
    g_signal_connect(n->win, "property-notify-event", G_CALLBACK(OnProperty), n);
}

void StopWithdrawWait(Native* n) {
    if (n->withdrawSource) g_source_remove(n->withdrawSource);
    n->withdrawSource = 0;
    n->mapWaiting = n->mapForeground = false;
}

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
    if (n->mapWaiting) {  // presenting would map the window now: it comes once mapped
        n->mapForeground = true;
        return;
    }
    guint32 t = ServerTime(n->win);
    gtk_window_present_with_time(GTK_WINDOW(n->win), t);
    GdkWindow* gw = GdkWin(n);
    gdk_window_raise(gw);
    gdk_window_focus(gw, t);
}

void SetFocus(Native* n) {
    if (!n || !Place(n).visible || Place(n).minimized || !gtk_widget_get_realized(n->win)) return;
    if (n->mapWaiting) {
        n->mapActivate = true;
        return;
    }
    gtk_window_present_with_time(GTK_WINDOW(n->win), ServerTime(n->win));
}

}  // namespace fw::backend
