// Windows as GTK toplevels (window_native.h has the picture): making and ending them, their
// caption and icon, and their timers.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <vector>

#include "fw/gtk/gtk_modal.h"
#include "fw/gtk/gtk_native.h"
#include "fw/gtk/window_native.h"

namespace fw::gtk {

using namespace win;

namespace {

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
using namespace fw::gtk::win;

Native* CreateNative(Window& owner, const CreateParams& params) {
    if (!gtk::Ready()) return nullptr;
    auto* n = new Native;
    n->owner = &owner;
    n->handle = owner.handle();
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
                                      GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK |
                                      GDK_PROPERTY_CHANGE_MASK);

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
            gtk_window_set_skip_taskbar_hint(gw, TRUE);
            gtk_window_set_skip_pager_hint(gw, TRUE);
            gtk_window_set_focus_on_map(gw, FALSE);
        }
    }
    if (params.style & kLayered) {
        n->layered = true;
        UseRgbaVisual(n);
    }
    PushGeometry(n);
    ConnectPaint(n);
    ConnectGeometry(n);
    ConnectShow(n);
    ConnectInput(n);
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
    StopSettling(n);
    StopWithdrawWait(n);
    ForgetHotKeyGroups(n->handle);
    ForgetHotKeys(n->handle);
    ForgetTrayIcons(n->handle);

    g_signal_handlers_disconnect_by_data(n->win, n);
    gtk_widget_destroy(n->win);
    n->win = nullptr;
    n->fixed = nullptr;
    DropPicture(n);
    // Freed later: a signal handler further up the stack may still hold the pointer.
    g_idle_add(DeleteNative, n);
    ModalWindowGone(n->handle);
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

}  // namespace fw::backend
