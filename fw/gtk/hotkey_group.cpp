// Hot-key groups on X: the program's processes on one display find each other through one
// unmapped input-only window per member, a direct child of the root window, that names the
// member's combination in the property _FW_HOTKEY_GROUP (modifiers, key) and tells in
// _FW_HOTKEY_SHOWN whether its process shows a window. A member tells the group with a client
// message (_FW_HOTKEY_TELL: modifiers, key, what) sent to each member window; the server hands
// it to the process that made the window. Members watch each other's windows: the server
// destroys a process's windows when the process ends (killed too), so the DestroyNotify that
// follows is the signal for the others to try the key's grab; the server gives it to one.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <set>
#include <vector>

#include "fw/gtk/gtk_modal.h"
#include "fw/gtk/gtk_native.h"
#include "fw/hotkey.h"
#include "fw/trace.h"

namespace fw::gtk {

namespace {

struct Member {
    Handle wnd;
    int id;
    unsigned modifiers;
    unsigned vk;
    ::Window bus;
    bool holder;
};

struct Peer {
    ::Window bus;
    unsigned modifiers;
    unsigned vk;
};

std::vector<Member> g_members;
std::set<::Window> g_watched;  // peers' member windows whose end we wait for
bool g_filterInstalled = false;
int g_shownPublished = -1;

Atom AtomOf(Display* dpy, const char* name) { return XInternAtom(dpy, name, False); }
Atom GroupAtom(Display* dpy) { return AtomOf(dpy, "_FW_HOTKEY_GROUP"); }
Atom ShownAtom(Display* dpy) { return AtomOf(dpy, "_FW_HOTKEY_SHOWN"); }
Atom TellAtom(Display* dpy) { return AtomOf(dpy, "_FW_HOTKEY_TELL"); }

bool Ours(::Window w) {
    return std::any_of(g_members.begin(), g_members.end(), [&](const Member& m) { return m.bus == w; });
}

// CARDINAL values of a window's property; empty when the window or the property is gone.
std::vector<long> Cardinals(Display* dpy, ::Window w, Atom prop, long count) {
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> out;
    if (XGetWindowProperty(dpy, w, prop, 0, count, False, XA_CARDINAL, &type, &format, &n, &after, &data) == Success &&
        type == XA_CARDINAL && format == 32 && data) {
        auto* v = reinterpret_cast<long*>(data);
        out.assign(v, v + n);
    }
    if (data) XFree(data);
    return out;
}

// The other processes' member windows on the display.
std::vector<Peer> Peers(Display* dpy) {
    std::vector<Peer> peers;
    GdkDisplay* d = gdk_display_get_default();
    gdk_x11_display_error_trap_push(d);
    ::Window root = 0, parent = 0, *kids = nullptr;
    unsigned count = 0;
    if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &count)) {
        const Atom group = GroupAtom(dpy);
        for (unsigned i = 0; i < count; ++i) {
            if (Ours(kids[i])) continue;
            std::vector<long> key = Cardinals(dpy, kids[i], group, 2);
            if (key.size() == 2)
                peers.push_back({kids[i], static_cast<unsigned>(key[0]), static_cast<unsigned>(key[1])});
        }
    }
    if (kids) XFree(kids);
    gdk_x11_display_error_trap_pop_ignored(d);
    return peers;
}

bool SameKey(const Peer& p, const Member& m) { return p.modifiers == m.modifiers && p.vk == m.vk; }

// Starts waiting for the end of every peer of the member's combination.
void WatchPeers(Display* dpy, const Member& m, const std::vector<Peer>& peers) {
    GdkDisplay* d = gdk_display_get_default();
    gdk_x11_display_error_trap_push(d);
    for (const Peer& p : peers) {
        if (!SameKey(p, m) || g_watched.count(p.bus)) continue;
        XSelectInput(dpy, p.bus, StructureNotifyMask);
        g_watched.insert(p.bus);
    }
    gdk_x11_display_error_trap_pop_ignored(d);
}

void PublishShown(Display* dpy, bool shown) {
    const long value = shown ? 1 : 0;
    for (const Member& m : g_members)
        XChangeProperty(dpy, m.bus, ShownAtom(dpy), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&value), 1);
    XFlush(dpy);
    g_shownPublished = shown ? 1 : 0;
}

bool AnyOwnWindowShown() {
    bool shown = false;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l && !shown; l = l->next) {
        Window* w = Window::FromHandle(HandleOfToplevel(GTK_WIDGET(l->data)));
        shown = w && !(w->style() & kChild) && w->IsVisible();
    }
    g_list_free(tops);
    return shown;
}

// A peer of `m`'s combination went away: if it held the key, the grab is free now.
void TryTakeOver(Member& m) {
    if (m.holder) return;
    if (RegisterHotKey(m.wnd, m.id, m.modifiers, m.vk)) {
        m.holder = true;
        fw::TraceMark("hot-key-group-taken-over");
    }
}

GdkFilterReturn GroupFilter(GdkXEvent* xev, GdkEvent*, gpointer) {
    auto* e = static_cast<XEvent*>(xev);
    Display* dpy = e->xany.display;
    if (e->type == ClientMessage && e->xclient.message_type == TellAtom(dpy) && e->xclient.format == 32) {
        for (const Member& m : g_members) {
            if (m.bus != e->xclient.window) continue;
            if (static_cast<unsigned>(e->xclient.data.l[0]) != m.modifiers ||
                static_cast<unsigned>(e->xclient.data.l[1]) != m.vk)
                break;
            Window::Post(m.wnd, WM_HOTKEY_GROUP, static_cast<WPARAM>(m.id), static_cast<LPARAM>(e->xclient.data.l[2]));
            break;
        }
        return GDK_FILTER_REMOVE;
    }
    if (e->type == DestroyNotify && g_watched.erase(e->xdestroywindow.window)) {
        const std::vector<Peer> peers = Peers(dpy);
        for (Member& m : g_members) {
            TryTakeOver(m);
            if (!m.holder) WatchPeers(dpy, m, peers);  // the new holder among them
        }
        return GDK_FILTER_CONTINUE;
    }
    return GDK_FILTER_CONTINUE;
}

std::vector<Member>::iterator Find(Handle wnd, int id) {
    return std::find_if(g_members.begin(), g_members.end(),
                        [&](const Member& m) { return m.wnd == wnd && m.id == id; });
}

void Drop(Display* dpy, std::vector<Member>::iterator it) {
    const Member m = *it;
    g_members.erase(it);
    if (m.holder) UnregisterHotKey(m.wnd, m.id);
    if (dpy) {
        XDestroyWindow(dpy, m.bus);  // the peers hear it, and one takes the key over
        XFlush(dpy);
    }
}

}  // namespace

void ForgetHotKeyGroups(Handle wnd) {
    Display* dpy = X11Display();
    for (auto it = g_members.begin(); it != g_members.end();) {
        if (it->wnd == wnd) {
            Drop(dpy, it);
            it = g_members.begin();
        } else {
            ++it;
        }
    }
}

void HotKeyGroupsShownChanged() {
    if (g_members.empty()) return;
    const bool shown = AnyOwnWindowShown();
    if ((shown ? 1 : 0) == g_shownPublished) return;
    if (Display* dpy = X11Display()) PublishShown(dpy, shown);
}

}  // namespace fw::gtk

namespace fw {

using namespace fw::gtk;

HotKeyRole JoinHotKeyGroup(Handle wnd, int id, unsigned modifiers, unsigned vk) {
    Display* dpy = X11Display();
    if (!dpy || !Window::FromHandle(wnd)) return HotKeyRole::Refused;
    if (Find(wnd, id) != g_members.end()) LeaveHotKeyGroup(wnd, id);
    const std::vector<Peer> peers = Peers(dpy);
    Member m{wnd, id, modifiers, vk, 0, RegisterHotKey(wnd, id, modifiers, vk)};
    const bool peerHas = std::any_of(peers.begin(), peers.end(), [&](const Peer& p) { return SameKey(p, m); });
    if (!m.holder && !peerHas) return HotKeyRole::Refused;

    XSetWindowAttributes a{};
    a.override_redirect = True;
    m.bus = XCreateWindow(dpy, DefaultRootWindow(dpy), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                          CWOverrideRedirect, &a);
    const long key[2] = {static_cast<long>(modifiers), static_cast<long>(vk)};
    XChangeProperty(dpy, m.bus, GroupAtom(dpy), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(key), 2);
    if (!g_filterInstalled) {
        gdk_window_add_filter(nullptr, GroupFilter, nullptr);
        g_filterInstalled = true;
    }
    g_members.push_back(m);
    PublishShown(dpy, AnyOwnWindowShown());
    // A member waits for the holder's end; a holder watches too, for a key it may lose to
    // nobody but keeps: watching costs nothing, and a member that joins later is the one
    // that takes over.
    WatchPeers(dpy, m, peers);
    return m.holder ? HotKeyRole::Holder : HotKeyRole::Member;
}

void LeaveHotKeyGroup(Handle wnd, int id) {
    auto it = Find(wnd, id);
    if (it != g_members.end()) Drop(X11Display(), it);
}

void TellHotKeyGroup(Handle wnd, int id, LPARAM what) {
    Display* dpy = X11Display();
    auto it = Find(wnd, id);
    if (!dpy || it == g_members.end()) return;
    const Member me = *it;
    GdkDisplay* d = gdk_display_get_default();
    gdk_x11_display_error_trap_push(d);
    for (const Peer& p : Peers(dpy)) {
        if (!SameKey(p, me)) continue;
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = p.bus;
        ev.xclient.message_type = TellAtom(dpy);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(me.modifiers);
        ev.xclient.data.l[1] = static_cast<long>(me.vk);
        ev.xclient.data.l[2] = static_cast<long>(what);
        XSendEvent(dpy, p.bus, False, NoEventMask, &ev);
    }
    XFlush(dpy);
    gdk_x11_display_error_trap_pop_ignored(d);
    for (const Member& m : g_members)
        if (m.modifiers == me.modifiers && m.vk == me.vk)
            Window::Post(m.wnd, WM_HOTKEY_GROUP, static_cast<WPARAM>(m.id), what);
}

bool HotKeyGroupShown(Handle wnd, int id) {
    Display* dpy = X11Display();
    auto it = Find(wnd, id);
    if (AnyOwnWindowShown()) return true;
    if (!dpy || it == g_members.end()) return false;
    const Member me = *it;
    GdkDisplay* d = gdk_display_get_default();
    gdk_x11_display_error_trap_push(d);
    bool shown = false;
    for (const Peer& p : Peers(dpy)) {
        if (!SameKey(p, me)) continue;
        std::vector<long> v = Cardinals(dpy, p.bus, ShownAtom(dpy), 1);
        if (!v.empty() && v[0] != 0) shown = true;
    }
    gdk_x11_display_error_trap_pop_ignored(d);
    return shown;
}

}  // namespace fw
