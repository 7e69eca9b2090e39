// Geometry settling of GTK windows. fw/common answers at once where the client put a window;
// the window manager confirms it later with configure events. While a request of ours is in
// flight, configure events that do not match it are stale and dropped; when it has not been
// confirmed within a short while, the window manager's answer wins. Configure events at other
// times are the window manager's (or the user's through it) and are reported to fw/common.
#include <gtk/gtk.h>

#include <algorithm>

#include "fw/gtk/window_native.h"

namespace fw::gtk::win {

namespace {

constexpr unsigned kSettleMs = 400;

// The window manager put the window at this screen rectangle.
void Adopt(Native* n, const Rect& screen) {
    bool moved = screen.TopLeft() != ScreenOrigin(n);
    fw::detail::PlatformMoved(*n->owner, screen);
    if (moved) PlaceKids(n);
    fw::detail::NotifyPlacement(*n->owner);
}

gboolean SettleTimeout(gpointer data) {
    auto* n = static_cast<Native*>(data);
    n->settleSource = 0;
    if (n->haveServerRect && n->serverRect != ScreenRect(n)) Adopt(n, n->serverRect);
    return G_SOURCE_REMOVE;
}

gboolean OnConfigure(GtkWidget*, GdkEventConfigure* e, Native* n) {
    Rect server = Rect::FromXYWH(e->x, e->y, e->width, e->height);
    if (n->settleSource) {
        n->haveServerRect = true;
        n->serverRect = server;
        if (server == ScreenRect(n)) {
            g_source_remove(n->settleSource);
            n->settleSource = 0;
            n->haveServerRect = false;
        }
        return FALSE;
    }
    if (server != ScreenRect(n)) Adopt(n, server);
    return FALSE;
}

}  // namespace

Point ScreenOrigin(const Native* n) {
    const Rect& r = Place(n).rect;
    if (n->child && n->parent) {
        Point p = ScreenOrigin(n->parent);
        return {p.x + r.left, p.y + r.top};
    }
    return r.TopLeft();
}

Rect ScreenRect(const Native* n) {
    Point o = ScreenOrigin(n);
    return Rect::FromXYWH(o.x, o.y, Place(n).rect.Width(), Place(n).rect.Height());
}

void PushGeometry(Native* n) {
    Point o = ScreenOrigin(n);
    gtk_window_move(GTK_WINDOW(n->win), o.x, o.y);
    gtk_window_resize(GTK_WINDOW(n->win), std::max(1, Place(n).rect.Width()), std::max(1, Place(n).rect.Height()));
}

void ExpectGeometry(Native* n) {
    if (n->settleSource) g_source_remove(n->settleSource);
    n->haveServerRect = false;
    n->settleSource = g_timeout_add(kSettleMs, SettleTimeout, n);
}

void PlaceKids(Native* n) {
    for (Native* k : n->kids) {
        if (!k->child) continue;
        PushGeometry(k);
        ExpectGeometry(k);
        PlaceKids(k);
    }
}

void StopSettling(Native* n) {
    if (n->settleSource) g_source_remove(n->settleSource);
    n->settleSource = 0;
}

void ConnectGeometry(Native* n) { g_signal_connect(n->win, "configure-event", G_CALLBACK(OnConfigure), n); }

}  // namespace fw::gtk::win

namespace fw::backend {

using namespace fw::gtk::win;

void SetPos(Native* n, const Rect& before, unsigned flags) {
    if (!n) return;
    if (Place(n).rect != before) {
        PushGeometry(n);
        ExpectGeometry(n);
        PlaceKids(n);
    }
    if ((flags & kTopOfZOrder) && !(flags & kNoZOrder))
        if (GdkWindow* gw = GdkWin(n)) gdk_window_raise(gw);
}

}  // namespace fw::backend
