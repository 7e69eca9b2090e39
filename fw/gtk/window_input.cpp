// Mouse and keys of GTK windows as the window messages of Windows (fw/backend.h says which),
// the cursor shapes, and the move and size drags that the window manager runs.
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "fw/gtk/gtk_modal.h"
#include "fw/gtk/gtk_native.h"
#include "fw/gtk/window_native.h"
#include "fw/tray.h"

namespace fw::gtk::win {

namespace {

constexpr WPARAM MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8, MK_MBUTTON = 0x10;

int Floor(double v) { return static_cast<int>(std::floor(v)); }

// --- Cursors ------------------------------------------------------------------------------

GdkCursor* CursorFor(GdkDisplay* d, Cursor c) {
    static GdkCursor* cache[6] = {};
    static const char* names[6] = {"default", "pointer", "ns-resize", "ew-resize", "nwse-resize", "nesw-resize"};
    auto i = static_cast<int>(c);
    if (i < 0 || i >= 6) i = 0;
    if (!cache[i]) cache[i] = gdk_cursor_new_from_name(d, names[i]);
    if (!cache[i]) cache[i] = gdk_cursor_new_for_display(d, GDK_LEFT_PTR);
    return cache[i];
}

void ApplyCursor(Native* n) {
    GdkWindow* gw = GdkWin(n);
    if (!gw) return;
    gdk_window_set_cursor(gw, CursorFor(gdk_window_get_display(gw), n->cursor));
    n->cursorApplied = true;
}

void OnRealize(GtkWidget*, Native* n) { ApplyCursor(n); }

// --- Mouse --------------------------------------------------------------------------------

Point ClientPoint(Native* n, GdkWindow* evWin, double x, double y, double xr, double yr) {
    GdkWindow* gw = GdkWin(n);
    if (evWin == gw) return {Floor(x), Floor(y)};
    int ox = 0, oy = 0;
    if (gw) gdk_window_get_origin(gw, &ox, &oy);
    return {Floor(xr) - ox, Floor(yr) - oy};
}

WPARAM MouseKeys(guint state) {
    WPARAM k = 0;
    if (state & GDK_BUTTON1_MASK) k |= MK_LBUTTON;
    if (state & GDK_BUTTON3_MASK) k |= MK_RBUTTON;
    if (state & GDK_BUTTON2_MASK) k |= MK_MBUTTON;
    if (state & GDK_SHIFT_MASK) k |= MK_SHIFT;
    if (state & GDK_CONTROL_MASK) k |= MK_CONTROL;
    return k;
}

// Windows' double click: a second press of the left button soon after the first and near
// it becomes WM_LBUTTONDBLCLK instead of a second WM_LBUTTONDOWN; a third press starts over.
bool IsDoubleClick(Native* n, const GdkEventButton* e) {
    gint time = 400, distance = 5;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &time, "gtk-double-click-distance", &distance,
                 nullptr);
    auto& c = n->lastClick;
    bool dbl = c.valid && e->time - c.time <= static_cast<guint32>(time) &&
               std::fabs(e->x_root - c.xRoot) <= distance && std::fabs(e->y_root - c.yRoot) <= distance;
    if (dbl) {
        c.valid = false;
    } else {
        c = {true, e->time, e->x_root, e->y_root};
    }
    return dbl;
}

gboolean OnButtonPress(GtkWidget*, GdkEventButton* e, Native* n) {
    if (e->type != GDK_BUTTON_PRESS) return TRUE;  // GDK's own double and triple clicks: counted above
    n->press = {true, e->button, e->x_root, e->y_root, e->time};
    Handle h = n->handle;
    Window& owner = *n->owner;
    Point c = ClientPoint(n, e->window, e->x, e->y, e->x_root, e->y_root);
    Point s{Floor(e->x_root), Floor(e->y_root)};
    WPARAM keys = MouseKeys(e->state);
    if (e->button == 1) {
        bool dbl = IsDoubleClick(n, e);
        int hit = static_cast<int>(owner.WindowProc(WM_NCHITTEST, 0, MakePointParam(s.x, s.y)));
        if (!Alive(h)) return TRUE;
        if (hit == HTCLIENT)
            detail::RouteInput(owner, dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, keys | MK_LBUTTON,
                               MakePointParam(c.x, c.y));
        else
            detail::RouteInput(owner, WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit), MakePointParam(s.x, s.y));
    } else if (e->button == 3) {
        detail::RouteInput(owner, WM_RBUTTONDOWN, keys | MK_RBUTTON, MakePointParam(c.x, c.y));
    }
    return TRUE;
}

gboolean OnButtonRelease(GtkWidget*, GdkEventButton* e, Native* n) {
    n->press.valid = false;
    Point c = ClientPoint(n, e->window, e->x, e->y, e->x_root, e->y_root);
    WPARAM keys = MouseKeys(e->state) & ~(e->button == 1 ? MK_LBUTTON : e->button == 3 ? MK_RBUTTON : 0);
    if (e->button == 1)
        detail::RouteInput(*n->owner, WM_LBUTTONUP, keys, MakePointParam(c.x, c.y));
    else if (e->button == 3)
        detail::RouteInput(*n->owner, WM_RBUTTONUP, keys, MakePointParam(c.x, c.y));
    return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* e, Native* n) {
    Handle h = n->handle;
    Window& owner = *n->owner;
    Point c = ClientPoint(n, e->window, e->x, e->y, e->x_root, e->y_root);
    Point s{Floor(e->x_root), Floor(e->y_root)};
    int hit = static_cast<int>(owner.WindowProc(WM_NCHITTEST, 0, MakePointParam(s.x, s.y)));
    if (!Alive(h)) return TRUE;
    LPARAM cursorLp = static_cast<LPARAM>((hit & 0xFFFF) | (WM_MOUSEMOVE << 16));
    owner.WindowProc(WM_SETCURSOR, static_cast<WPARAM>(h), cursorLp);
    if (!Alive(h) || hit != HTCLIENT) return TRUE;
    detail::RouteInput(owner, WM_MOUSEMOVE, MouseKeys(e->state), MakePointParam(c.x, c.y));
    return TRUE;
}

gboolean OnLeave(GtkWidget*, GdkEventCrossing* e, Native* n) {
    if (e->detail == GDK_NOTIFY_INFERIOR || !n->trackLeave) return FALSE;
    n->trackLeave = false;
    detail::RouteInput(*n->owner, WM_MOUSELEAVE, 0, 0);
    return FALSE;
}

// --- Keys ---------------------------------------------------------------------------------

// A key that a browser view passed to its page and the page did not take comes back: the
// engine hands the same event (by then often after its release) to the toplevel again. It has
// been routed the first time. Events of the X server never share type, time and key.
bool SeenBefore(const GdkEventKey* e) {
    struct Key {
        GdkEventType type;
        guint32 time;
        guint16 code;
    };
    static Key recent[16] = {};
    static std::size_t next = 0;
    if (e->time == 0) return false;  // made up by a client: no time to tell it by
    for (const Key& k : recent)
        if (k.time == e->time && k.type == e->type && k.code == e->hardware_keycode) return true;
    recent[next] = {e->type, e->time, e->hardware_keycode};
    next = (next + 1) % std::size(recent);
    return false;
}

gboolean OnKey(GtkWidget*, GdkEventKey* e, Native* n) {
    if (SeenBefore(e)) return FALSE;
    unsigned vk = VkFromKeyEvent(e);
    if (!vk) return FALSE;
    bool press = e->type == GDK_KEY_PRESS;
    bool alt = (e->state & GDK_MOD1_MASK) != 0;
    bool ctrl = (e->state & GDK_CONTROL_MASK) != 0;
    // As on Windows: Alt (without Ctrl) makes keys system keys, and so does F10 alone.
    bool sys = ((alt || vk == VK_MENU) && !ctrl) || vk == VK_F10;
    unsigned msg = press ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    auto lp = static_cast<LPARAM>(1u | ((static_cast<unsigned>(e->hardware_keycode - 8) & 0xFFu) << 16) |
                                  (alt ? 1u << 29 : 0u) | (press ? 0u : (3u << 30)));
    Handle h = n->handle;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(n->win));
    if (focus && IsKeyControl(focus)) {
        // A control that takes keys (the hot-key field) has them after the window's
        // pre-translation, as in a dialog; only what it declines reaches the window's handlers.
        if (detail::PreTranslated(*n->owner, msg, vk, lp) || !Alive(h)) return TRUE;
        g_object_ref(focus);
        gboolean taken = gtk_widget_event(focus, reinterpret_cast<GdkEvent*>(e));
        g_object_unref(focus);
        if (!taken && Alive(h)) n->owner->WindowProc(msg, vk, lp);
        return TRUE;
    }
    bool dispatched = detail::RouteInput(*n->owner, msg, vk, lp);
    if (!Alive(h)) return TRUE;
    return dispatched ? FALSE : TRUE;  // swallowed keys never reach the focused widget
}

gboolean OnDelete(GtkWidget*, GdkEvent*, Native* n) {
    // Closing from the window manager (Alt+F4, the taskbar) is the system close command.
    n->owner->WindowProc(WM_SYSCOMMAND, SC_CLOSE, 0);
    return TRUE;  // the window goes away only through Window::Destroy
}

// --- Drags --------------------------------------------------------------------------------

// The press that started a drag: the current one, or the pointer as it is now.
void DragOrigin(Native* n, guint& button, gint& x, gint& y, guint32& time) {
    if (n->press.valid) {
        button = n->press.button;
        x = Floor(n->press.xRoot);
        y = Floor(n->press.yRoot);
        time = n->press.time;
        return;
    }
    Point p = GetCursorPos();
    button = 1;
    x = p.x;
    y = p.y;
    time = gtk_get_current_event_time();
}

}  // namespace

void ConnectInput(Native* n) {
    GtkWidget* w = n->win;
    g_signal_connect(w, "button-press-event", G_CALLBACK(OnButtonPress), n);
    g_signal_connect(w, "button-release-event", G_CALLBACK(OnButtonRelease), n);
    g_signal_connect(w, "motion-notify-event", G_CALLBACK(OnMotion), n);
    g_signal_connect(w, "leave-notify-event", G_CALLBACK(OnLeave), n);
    g_signal_connect(w, "key-press-event", G_CALLBACK(OnKey), n);
    g_signal_connect(w, "key-release-event", G_CALLBACK(OnKey), n);
    g_signal_connect(w, "delete-event", G_CALLBACK(OnDelete), n);
    g_signal_connect(w, "realize", G_CALLBACK(OnRealize), n);
}

}  // namespace fw::gtk::win

namespace fw::backend {

using namespace fw::gtk::win;

void SetCursor(Native* n, Cursor c) {
    if (!n || (c == n->cursor && n->cursorApplied)) return;
    n->cursor = c;
    ApplyCursor(n);
}

void TrackMouseLeave(Native* n) {
    if (n) n->trackLeave = true;
}

void ReleaseCapture(Native* n) {
    if (!n || !gtk_widget_get_realized(n->win)) return;
    GdkDisplay* d = gtk_widget_get_display(n->win);
    GdkSeat* seat = gdk_display_get_default_seat(d);
    if (seat && gdk_display_device_is_grabbed(d, gdk_seat_get_pointer(seat))) gdk_seat_ungrab(seat);
}

void BeginMoveDrag(Native* n) {
    if (!n || !gtk_widget_get_visible(n->win)) return;
    guint button;
    gint x, y;
    guint32 time;
    DragOrigin(n, button, x, y, time);
    n->press.valid = false;  // the window manager has the button now
    gtk_window_begin_move_drag(GTK_WINDOW(n->win), static_cast<gint>(button), x, y, time);
}

void BeginResizeDrag(Native* n, int hitCode) {
    if (!n || !gtk_widget_get_visible(n->win)) return;
    GdkWindowEdge edge;
    switch (hitCode) {
    case HTLEFT: edge = GDK_WINDOW_EDGE_WEST; break;
    case HTRIGHT: edge = GDK_WINDOW_EDGE_EAST; break;
    case HTTOP: edge = GDK_WINDOW_EDGE_NORTH; break;
    case HTTOPLEFT: edge = GDK_WINDOW_EDGE_NORTH_WEST; break;
    case HTTOPRIGHT: edge = GDK_WINDOW_EDGE_NORTH_EAST; break;
    case HTBOTTOM: edge = GDK_WINDOW_EDGE_SOUTH; break;
    case HTBOTTOMLEFT: edge = GDK_WINDOW_EDGE_SOUTH_WEST; break;
    case HTBOTTOMRIGHT: edge = GDK_WINDOW_EDGE_SOUTH_EAST; break;
    default: return;
    }
    // The smallest size the window accepts holds for the user's resizing.
    Size minTrack{};
    Handle h = n->handle;
    n->owner->WindowProc(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&minTrack));
    if (!Alive(h)) return;
    if (minTrack.cx > 0 || minTrack.cy > 0) {
        GdkGeometry g{};
        g.min_width = std::max(1, minTrack.cx);
        g.min_height = std::max(1, minTrack.cy);
        gtk_window_set_geometry_hints(GTK_WINDOW(n->win), nullptr, &g, GDK_HINT_MIN_SIZE);
    }
    guint button;
    gint x, y;
    guint32 time;
    DragOrigin(n, button, x, y, time);
    n->press.valid = false;
    gtk_window_begin_resize_drag(GTK_WINDOW(n->win), edge, static_cast<gint>(button), x, y, time);
}

}  // namespace fw::backend
