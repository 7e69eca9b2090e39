// Windows as undecorated GTK toplevels on X11.
//
// Every fw::Window is one GtkWindow holding a GtkFixed (where browser views go). The window
// paints itself in "draw": ordinary windows through Window::PaintInto into a back buffer,
// layered windows from the last picture given to UpdateLayered, on an RGBA visual, with an
// input shape cut from the picture's alpha channel so that clicks on transparent pixels reach
// whatever lies below.
//
// Child windows (kChild, or a window moved into a parent with SetParent) are toplevels too,
// transient for their parent and kept at the parent's client origin plus their offset: they
// follow the parent when it moves and hide while it is hidden or minimised.
//
// The placement (visibility, minimised and maximised state, rectangle) is fw/common's, which
// answers at once what the client asked for. Configure events are reported to it, except
// those that arrive while a request of ours is in flight and do not match it (stale ones);
// when the request has not been confirmed within a short while, the window manager's answer
// wins. fw/common sends WM_MOVE and WM_SIZE for what changed, whoever changed it.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <vector>

#include "fw/backend.h"
#include "fw/gtk/gtk_modal.h"
#include "fw/gtk/gtk_native.h"
#include "fw/system.h"
#include "fw/tray.h"

namespace fw::backend {

struct Native {
    Window* owner = nullptr;
    Handle handle = kNoWindow;
    GtkWidget* win = nullptr;
    GtkWidget* fixed = nullptr;
    unsigned style = 0;

    bool child = false;         // placed in the parent's client area
    Native* parent = nullptr;   // parent of a child, owner of a pop-up
    std::vector<Native*> kids;  // children and owned pop-ups

    // A geometry request of ours in flight (see the file comment).
    guint settleSource = 0;
    bool haveServerRect = false;
    Rect serverRect{};  // screen coordinates

    bool layered = false;
    bool rgba = false;
    cairo_surface_t* picture = nullptr;
    std::vector<std::uint8_t> alpha;  // alpha channel behind the current input shape
    cairo_region_t* inputShape = nullptr;
    int alphaW = 0, alphaH = 0;
    Bitmap back;  // back buffer of an ordinary window

    Cursor cursor = Cursor::Arrow;
    bool cursorApplied = false;
    bool trackLeave = false;

    struct Press {
        bool valid = false;
        guint button = 0;
        double xRoot = 0, yRoot = 0;
        guint32 time = 0;
    } press;
    struct Click {
        bool valid = false;
        guint32 time = 0;
        double xRoot = 0, yRoot = 0;
    } lastClick;  // the first click of a possible double click

    std::map<unsigned, guint> timers;
};

}  // namespace fw::backend

namespace fw::gtk {

using backend::Native;
using backend::Placement;

namespace {

constexpr unsigned kSettleMs = 400;
constexpr WPARAM MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8, MK_MBUTTON = 0x10;

bool Alive(Handle h) { return Window::FromHandle(h) != nullptr; }

int Floor(double v) { return static_cast<int>(std::floor(v)); }

const Placement& Place(const Native* n) { return fw::detail::PlacementOf(*n->owner); }

// Maximised as the window manager sees it: it keeps the state of a minimised window that
// was maximised.
bool WmMaximized(const Placement& p) { return p.maximized || (p.minimized && p.restoreToMaximized); }

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

// Whether the window's children may be on screen.
bool OnScreen(const Native* n) {
    const Placement& p = Place(n);
    if (!p.visible || p.minimized) return false;
    return !(n->child && n->parent) || OnScreen(n->parent);
}

GdkWindow* GdkWin(const Native* n) { return n->win ? gtk_widget_get_window(n->win) : nullptr; }

// Hands the cached geometry to GTK (and the children's, which hang on it).
void PushGeometry(Native* n) {
    Point o = ScreenOrigin(n);
    gtk_window_move(GTK_WINDOW(n->win), o.x, o.y);
    gtk_window_resize(GTK_WINDOW(n->win), std::max(1, Place(n).rect.Width()), std::max(1, Place(n).rect.Height()));
}

void Adopt(Native* n, const Rect& screen);

gboolean SettleTimeout(gpointer data) {
    auto* n = static_cast<Native*>(data);
    n->settleSource = 0;
    if (n->haveServerRect && n->serverRect != ScreenRect(n)) Adopt(n, n->serverRect);
    return G_SOURCE_REMOVE;
}

// A request of ours is on its way: configure events that do not match it are stale for a
// short while.
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

// Shows or hides the GTK window as the window's own visibility and its parent say, then the
// same for its children.
void SyncMapped(Native* n, bool activate) {
    const Placement& p = Place(n);
    bool should = p.visible && (!(n->child && n->parent) || OnScreen(n->parent));
    bool shown = gtk_widget_get_visible(n->win);
    if (should && !shown) {
        if (!p.maximized && !p.minimized) {
            // A window shown again keeps its place: re-apply the cached geometry.
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

// The window manager (or the user through it) put the window at this screen rectangle.
void Adopt(Native* n, const Rect& screen) {
    bool moved = screen.TopLeft() != ScreenOrigin(n);
    fw::detail::PlatformMoved(*n->owner, screen);
    if (moved) PlaceKids(n);
    fw::detail::NotifyPlacement(*n->owner);
}

// --- Layered pictures ---------------------------------------------------------------------

void UseRgbaVisual(Native* n) {
    if (n->rgba) return;
    n->rgba = true;
    GdkVisual* v = gdk_screen_get_rgba_visual(gtk_widget_get_screen(n->win));
    if (!v) return;  // no 32-bit visual: transparent pixels show black
    if (gtk_widget_get_realized(n->win)) {
        // The visual is fixed at realisation: make the X window anew.
        bool shown = gtk_widget_get_visible(n->win);
        if (shown) gtk_widget_hide(n->win);
        gtk_widget_unrealize(n->win);
        gtk_widget_set_visual(n->win, v);
        n->cursorApplied = false;
        if (shown) SyncMapped(n, false);
    } else {
        gtk_widget_set_visual(n->win, v);
    }
}

// Updates the stored alpha channel from the picture; true when it changed.
bool TakeAlpha(Native* n, const Bitmap& pic) {
    int w = pic.width(), h = pic.height();
    std::size_t count = static_cast<std::size_t>(w) * h;
    bool changed = false;
    if (w != n->alphaW || h != n->alphaH || n->alpha.size() != count) {
        n->alpha.assign(count, 0);
        n->alphaW = w;
        n->alphaH = h;
        changed = true;
    }
    const std::uint32_t* px = pic.data();
    std::uint8_t* a = n->alpha.data();
    for (std::size_t i = 0; i < count; ++i) {
        auto v = static_cast<std::uint8_t>(px[i] >> 24);
        if (a[i] != v) {
            a[i] = v;
            changed = true;
        }
    }
    return changed;
}

// The input region: runs of non-zero alpha per row; rows with the same runs as the row
// above extend its rectangles downwards.
cairo_region_t* RegionFromAlpha(const std::vector<std::uint8_t>& alpha, int w, int h) {
    std::vector<cairo_rectangle_int_t> rects;
    std::vector<std::pair<int, int>> runs, prevRuns;
    std::size_t prevStart = 0;
    for (int y = 0; y < h; ++y) {
        runs.clear();
        const std::uint8_t* row = alpha.data() + static_cast<std::size_t>(y) * w;
        int x = 0;
        while (x < w) {
            while (x < w && row[x] == 0) ++x;
            if (x >= w) break;
            int start = x;
            while (x < w && row[x] != 0) ++x;
            runs.emplace_back(start, x);
        }
        if (y > 0 && runs == prevRuns) {
            for (std::size_t i = prevStart; i < rects.size(); ++i) rects[i].height++;
            continue;
        }
        prevStart = rects.size();
        for (auto& r : runs) rects.push_back({r.first, y, r.second - r.first, 1});
        prevRuns.swap(runs);
    }
    return cairo_region_create_rectangles(rects.data(), static_cast<int>(rects.size()));
}

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

// --- Signal handlers ----------------------------------------------------------------------

gboolean OnDraw(GtkWidget* w, cairo_t* cr, Native* n) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (n->layered) {
        if (n->picture)
            cairo_set_source_surface(cr, n->picture, 0, 0);
        else
            cairo_set_source_rgba(cr, 0, 0, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        return FALSE;
    }
    GdkWindow* gw = gtk_widget_get_window(w);
    int W = gdk_window_get_width(gw), H = gdk_window_get_height(gw);
    if (W <= 0 || H <= 0) {
        cairo_restore(cr);
        return FALSE;
    }
    if (n->back.width() != W || n->back.height() != H)
        n->back.Resize(W, H);
    else
        std::memset(n->back.data(), 0, static_cast<std::size_t>(n->back.stride()) * H);
    Handle h = n->handle;
    n->owner->PaintInto(n->back);
    if (!Alive(h)) {
        cairo_restore(cr);
        return TRUE;
    }
    cairo_surface_t* s = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(n->back.data()), CAIRO_FORMAT_ARGB32, W, H, n->back.stride());
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);  // drops the context's reference to the surface
    cairo_surface_destroy(s);
    return FALSE;  // the container draws the child widgets on top
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
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &time, "gtk-double-click-distance",
                 &distance, nullptr);
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

// The pre-translation of RouteInput alone: the window and its ancestors may swallow the key.
bool PreTranslated(Window& target, unsigned msg, WPARAM wp, LPARAM lp) {
    Msg m{target.handle(), msg, wp, lp};
    for (Handle h = target.handle(); h != kNoWindow;) {
        Window* w = Window::FromHandle(h);
        if (!w) return true;  // gone on the way: nobody is left to take the key
        if (w->PreTranslateMessage(m)) return true;
        Window* p = w->parent();
        h = p ? p->handle() : kNoWindow;
    }
    return false;
}

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
        if (PreTranslated(*n->owner, msg, vk, lp) || !Alive(h)) return TRUE;
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

void ApplyInputShape(Native* n) {
    // Set on the X window directly, once the window and its GtkFixed (which draws on the
    // same X window and would reset the shape when it is realised) are mapped. The bounding
    // shape is the same region: window managers copy it onto their frame, which would
    // otherwise take the clicks that pass through the window itself.
    GdkWindow* gw = GdkWin(n);
    if (!gw || !gtk_widget_get_mapped(n->win)) return;
    gdk_window_input_shape_combine_region(gw, n->inputShape, 0, 0);
    gdk_window_shape_combine_region(gw, n->inputShape, 0, 0);
}

void OnMap(GtkWidget*, Native* n) {
    if (n->inputShape) ApplyInputShape(n);
}

void OnRealize(GtkWidget*, Native* n) { ApplyCursor(n); }

gboolean InitialNotify(gpointer data) {
    // As after a window's creation on Windows: one WM_SIZE and WM_MOVE once the creation
    // message has been handled.
    auto h = static_cast<Handle>(reinterpret_cast<std::uintptr_t>(data));
    if (Window* w = Window::FromHandle(h)) fw::detail::NotifyPlacement(*w, true);
    return G_SOURCE_REMOVE;
}

struct TimerData {
    Handle wnd;
    unsigned id;
};

gboolean TimerFired(gpointer data) {
    TimerData t = *static_cast<TimerData*>(data);
    Window* w = Window::FromHandle(t.wnd);
    if (!w) return G_SOURCE_REMOVE;
    detail::RouteInput(*w, WM_TIMER, t.id, 0);
    return G_SOURCE_CONTINUE;
}

void FreeTimerData(gpointer data) { delete static_cast<TimerData*>(data); }

gboolean DeleteNative(gpointer data) {
    delete static_cast<Native*>(data);
    return G_SOURCE_REMOVE;
}

void Connect(Native* n) {
    GtkWidget* w = n->win;
    g_signal_connect(w, "draw", G_CALLBACK(OnDraw), n);
    g_signal_connect(w, "configure-event", G_CALLBACK(OnConfigure), n);
    g_signal_connect(w, "window-state-event", G_CALLBACK(OnWindowState), n);
    g_signal_connect(w, "button-press-event", G_CALLBACK(OnButtonPress), n);
    g_signal_connect(w, "button-release-event", G_CALLBACK(OnButtonRelease), n);
    g_signal_connect(w, "motion-notify-event", G_CALLBACK(OnMotion), n);
    g_signal_connect(w, "leave-notify-event", G_CALLBACK(OnLeave), n);
    g_signal_connect(w, "key-press-event", G_CALLBACK(OnKey), n);
    g_signal_connect(w, "key-release-event", G_CALLBACK(OnKey), n);
    g_signal_connect(w, "delete-event", G_CALLBACK(OnDelete), n);
    g_signal_connect(w, "realize", G_CALLBACK(OnRealize), n);
    g_signal_connect_after(w, "map", G_CALLBACK(OnMap), n);
}

void MakeChildLike(Native* n) {
    GtkWindow* gw = GTK_WINDOW(n->win);
    gtk_window_set_skip_taskbar_hint(gw, TRUE);
    gtk_window_set_skip_pager_hint(gw, TRUE);
    gtk_window_set_focus_on_map(gw, FALSE);
}

void Unlink(Native* n) {
    if (!n->parent) return;
    auto& v = n->parent->kids;
    v.erase(std::remove(v.begin(), v.end(), n), v.end());
    n->parent = nullptr;
}

}  // namespace

GtkWindow* ToplevelOf(backend::Native* n) { return n ? GTK_WINDOW(n->win) : nullptr; }
GtkFixed* ContainerOf(backend::Native* n) { return n ? GTK_FIXED(n->fixed) : nullptr; }

backend::Native* NativeOf(Handle h) {
    Window* w = Window::FromHandle(h);
    return w ? w->native() : nullptr;
}

guint32 ServerTime(GtkWidget* w) {
    GdkWindow* gw = w ? gtk_widget_get_window(w) : nullptr;
    if (gw && GDK_IS_X11_WINDOW(gw)) return gdk_x11_get_server_time(gw);
    return gtk_get_current_event_time();
}

}  // namespace fw::gtk

namespace fw::backend {

using namespace fw::gtk;

Native* CreateNative(Window& owner, const CreateParams& params) {
    if (!gtk::Ready()) return nullptr;
    auto* n = new Native;
    n->owner = &owner;
    n->handle = owner.handle();
    n->style = params.style;
    n->win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    TagToplevel(n->win, n->handle);
    GtkWindow* gw = GTK_WINDOW(n->win);
    gtk_window_set_decorated(gw, FALSE);
    gtk_widget_set_app_paintable(n->win, TRUE);
    gtk_window_set_title(gw, ValidUtf8(params.caption).c_str());
    n->fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(n->win), n->fixed);
    gtk_widget_show(n->fixed);
    gtk_widget_add_events(n->win, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                      GDK_LEAVE_NOTIFY_MASK | GDK_ENTER_NOTIFY_MASK | GDK_KEY_PRESS_MASK |
                                      GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK);

    if (params.style & kToolWindow) {
        gtk_window_set_skip_taskbar_hint(gw, TRUE);
        gtk_window_set_skip_pager_hint(gw, TRUE);
        gtk_window_set_type_hint(gw, GDK_WINDOW_TYPE_HINT_UTILITY);
    } else if (params.style & kDialog) {
        gtk_window_set_type_hint(gw, GDK_WINDOW_TYPE_HINT_DIALOG);
    }
    if (params.style & kTopmost) gtk_window_set_keep_above(gw, TRUE);

    Native* parent = params.parent ? params.parent->native() : nullptr;
    if (parent) {
        n->parent = parent;
        parent->kids.push_back(n);
        gtk_window_set_transient_for(gw, GTK_WINDOW(parent->win));
        if (params.style & kChild) {
            n->child = true;
            MakeChildLike(n);
        }
    }
    if (params.style & kLayered) {
        n->layered = true;
        UseRgbaVisual(n);
    }
    PushGeometry(n);
    Connect(n);
    g_idle_add_full(G_PRIORITY_HIGH_IDLE, InitialNotify,
                    reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(n->handle)), nullptr);
    return n;
}

void DestroyNative(Native* n) {
    if (!n) return;
    // Children and owned pop-ups go with their parent, after it (as on Windows).
    std::vector<Handle> kids;
    for (Native* k : n->kids) kids.push_back(k->handle);
    for (Handle kh : kids)
        if (Window* kw = Window::FromHandle(kh)) kw->Destroy();
    for (Native* k : std::vector<Native*>(n->kids)) {  // kids that could not go: let them loose
        k->parent = nullptr;
        k->child = false;
        gtk_window_set_transient_for(GTK_WINDOW(k->win), nullptr);
    }
    n->kids.clear();
    Unlink(n);

    for (auto& [id, src] : n->timers) g_source_remove(src);
    n->timers.clear();
    if (n->settleSource) g_source_remove(n->settleSource);
    n->settleSource = 0;
    ForgetHotKeys(n->handle);
    ForgetTrayIcons(n->handle);

    g_signal_handlers_disconnect_by_data(n->win, n);
    gtk_widget_destroy(n->win);
    n->win = nullptr;
    n->fixed = nullptr;
    if (n->picture) cairo_surface_destroy(n->picture);
    n->picture = nullptr;
    if (n->inputShape) cairo_region_destroy(n->inputShape);
    n->inputShape = nullptr;
    // Freed later: a signal handler further up the stack may still hold the pointer.
    g_idle_add(DeleteNative, n);
    ModalWindowGone(n->handle);
}

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

void SetCaption(Native* n, const std::string& text) {
    if (n) gtk_window_set_title(GTK_WINDOW(n->win), ValidUtf8(text).c_str());
}

void SetIcon(Native* n, const Image* icon) {
    if (!n) return;
    GdkPixbuf* pb = PixbufFromImage(icon);
    gtk_window_set_icon(GTK_WINDOW(n->win), pb);
    if (pb) g_object_unref(pb);
}

void Invalidate(Native* n, const Rect* r) {
    if (!n || n->layered) return;  // a layered window shows its picture, never paints
    if (r) {
        if (r->IsEmpty()) return;
        gtk_widget_queue_draw_area(n->win, r->left, r->top, r->Width(), r->Height());
    } else {
        gtk_widget_queue_draw(n->win);
    }
}

void UpdateNow(Native* n) {
    GdkWindow* gw = n ? GdkWin(n) : nullptr;
    if (!gw || !gtk_widget_get_mapped(n->win)) return;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gdk_window_process_updates(gw, TRUE);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

void UpdateLayered(Native* n, const Bitmap& picture) {
    if (!n) return;
    int w = picture.width(), h = picture.height();
    if (w <= 0 || h <= 0) return;
    n->layered = true;
    UseRgbaVisual(n);

    if (!n->picture || cairo_image_surface_get_width(n->picture) != w ||
        cairo_image_surface_get_height(n->picture) != h) {
        if (n->picture) cairo_surface_destroy(n->picture);
        n->picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    }
    cairo_surface_flush(n->picture);
    unsigned char* dst = cairo_image_surface_get_data(n->picture);
    int dstStride = cairo_image_surface_get_stride(n->picture);
    const auto* src = reinterpret_cast<const unsigned char*>(picture.data());
    for (int y = 0; y < h; ++y)
        std::memcpy(dst + static_cast<std::size_t>(y) * dstStride, src + static_cast<std::size_t>(y) * picture.stride(),
                    static_cast<std::size_t>(w) * 4);
    cairo_surface_mark_dirty(n->picture);

    if (TakeAlpha(n, picture)) {
        if (n->inputShape) cairo_region_destroy(n->inputShape);
        n->inputShape = RegionFromAlpha(n->alpha, w, h);
        ApplyInputShape(n);
    }
    gtk_widget_queue_draw(n->win);
}

void SetCursor(Native* n, Cursor c) {
    if (!n || (c == n->cursor && n->cursorApplied)) return;
    n->cursor = c;
    ApplyCursor(n);
}

void SetTimer(Native* n, unsigned id, unsigned ms) {
    if (!n) return;
    KillTimer(n, id);
    if (ms < 10) ms = 10;  // the shortest timer Windows runs
    auto* data = new TimerData{n->handle, id};
    n->timers[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, ms, TimerFired, data, FreeTimerData);
}

void KillTimer(Native* n, unsigned id) {
    if (!n) return;
    auto it = n->timers.find(id);
    if (it == n->timers.end()) return;
    g_source_remove(it->second);
    n->timers.erase(it);
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

namespace {
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
