// The program's top-level windows in the X server's stacking order, and the one with the
// keyboard focus. The window manager puts each managed window into a frame of its own, a child
// of the root window; the root's children come bottom first, so a window's place in the
// order is its frame's (or its own, unmanaged).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <map>

#include "fw/gtk/gtk_modal.h"
#include "fw/gtk/gtk_native.h"
#include "fw/gtk/window_native.h"

namespace fw::gtk {

namespace {

// The window's ancestor that is a child of the root (itself when it is one); 0 when gone.
::Window TopOfRoot(Display* dpy, ::Window w) {
    for (int depth = 0; w && depth < 8; ++depth) {
        ::Window root = 0, parent = 0, *kids = nullptr;
        unsigned count = 0;
        if (!XQueryTree(dpy, w, &root, &parent, &kids, &count)) return 0;
        if (kids) XFree(kids);
        if (parent == root) return w;
        w = parent;
    }
    return 0;
}

struct Top {
    Handle handle;
    ::Window xid;
};

std::vector<Top> ProgramToplevels() {
    std::vector<Top> tops;
    GList* list = gtk_window_list_toplevels();
    for (GList* l = list; l; l = l->next) {
        const Handle h = HandleOfToplevel(GTK_WIDGET(l->data));
        Window* w = Window::FromHandle(h);
        if (!w || (w->style() & kChild)) continue;
        GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(l->data));
        tops.push_back({h, gw && GDK_IS_X11_WINDOW(gw) ? GDK_WINDOW_XID(gw) : 0});
    }
    g_list_free(list);
    return tops;
}

}  // namespace

}  // namespace fw::gtk

namespace fw::backend {

std::vector<Handle> StackingOrder() {
    using namespace fw::gtk;
    std::vector<Top> tops = ProgramToplevels();
    Display* dpy = X11Display();
    std::map<Handle, int> place;
    if (dpy) {
        GdkDisplay* d = gdk_display_get_default();
        gdk_x11_display_error_trap_push(d);
        ::Window root = 0, parent = 0, *kids = nullptr;
        unsigned count = 0;
        if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &count)) {
            std::map<::Window, int> index;
            for (unsigned i = 0; i < count; ++i) index[kids[i]] = static_cast<int>(i);
            for (const Top& t : tops) {
                auto it = t.xid ? index.find(TopOfRoot(dpy, t.xid)) : index.end();
                place[t.handle] = it == index.end() ? -1 : it->second;
            }
        }
        if (kids) XFree(kids);
        gdk_x11_display_error_trap_pop_ignored(d);
    }
    std::stable_sort(tops.begin(), tops.end(),
                     [&](const Top& a, const Top& b) { return place[a.handle] < place[b.handle]; });
    std::vector<Handle> order;
    for (const Top& t : tops) order.push_back(t.handle);
    return order;
}

Handle FocusedTopLevel() {
    using namespace fw::gtk;
    Display* dpy = X11Display();
    const std::vector<Top> tops = ProgramToplevels();
    // The window manager's active window first (what the user sees as active), then the
    // server's focus (no window manager, or one that does not say).
    ::Window active = 0, focus = 0;
    if (dpy) {
        GdkDisplay* d = gdk_display_get_default();
        gdk_x11_display_error_trap_push(d);
        Atom type = None;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False), 0, 1, False,
                               XA_WINDOW, &type, &format, &n, &after, &data) == Success &&
            type == XA_WINDOW && format == 32 && n == 1 && data)
            active = static_cast<::Window>(reinterpret_cast<unsigned long*>(data)[0]);
        if (data) XFree(data);
        int revert = 0;
        XGetInputFocus(dpy, &focus, &revert);
        gdk_x11_display_error_trap_pop_ignored(d);
    }
    for (::Window want : {active, focus}) {
        for (const Top& t : tops)
            if (want && t.xid == want) return t.handle;
    }
    // The focus on a window inside one of ours (an embedded one): GTK knows which is active.
    for (const Top& t : tops) {
        Window* w = Window::FromHandle(t.handle);
        if (w && w->native() && gtk_window_is_active(ToplevelOf(w->native()))) return t.handle;
    }
    return kNoWindow;
}

}  // namespace fw::backend
