// System-wide hot keys: passive key grabs on the X root window, read through a GDK event
// filter. Each combination is grabbed four times, with and without CapsLock and NumLock, so
// that neither lock disturbs it.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <vector>

#include "fw/gtk/gtk_native.h"
#include "fw/hotkey.h"

namespace fw::gtk {

namespace {

struct Grab {
    Handle wnd;
    int id;
    unsigned modifiers;  // MOD_*
    unsigned vk;
    KeyCode keycode;
    unsigned xmods;      // X modifier mask without the locks
};

std::vector<Grab> g_grabs;
bool g_filterInstalled = false;

constexpr unsigned kLockCombos[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
constexpr unsigned kRelevantMods = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

constexpr unsigned kModWin = 0x8;         // Windows' MOD_WIN: the Super key
constexpr unsigned kModNoRepeat = 0x4000;  // Windows' MOD_NOREPEAT: X repeats anyway

unsigned XModsFrom(unsigned modifiers) {
    unsigned m = 0;
    if (modifiers & kModWin) m |= Mod4Mask;
    if (modifiers & MOD_ALT) m |= Mod1Mask;
    if (modifiers & MOD_CONTROL) m |= ControlMask;
    if (modifiers & MOD_SHIFT) m |= ShiftMask;
    return m;
}

Display* XDisplay() {
    GdkDisplay* d = gdk_display_get_default();
    return d && GDK_IS_X11_DISPLAY(d) ? gdk_x11_display_get_xdisplay(d) : nullptr;
}

void Ungrab(Display* dpy, KeyCode kc, unsigned xmods) {
    GdkDisplay* d = gdk_display_get_default();
    gdk_x11_display_error_trap_push(d);
    for (unsigned lock : kLockCombos) XUngrabKey(dpy, kc, xmods | lock, DefaultRootWindow(dpy));
    gdk_x11_display_error_trap_pop_ignored(d);
}

bool StillGrabbed(KeyCode kc, unsigned xmods) {
    for (const Grab& g : g_grabs)
        if (g.keycode == kc && g.xmods == xmods) return true;
    return false;
}

GdkFilterReturn RootFilter(GdkXEvent* xev, GdkEvent*, gpointer) {
    auto* e = static_cast<XEvent*>(xev);
    if (e->type != KeyPress) return GDK_FILTER_CONTINUE;
    unsigned mods = e->xkey.state & kRelevantMods;
    for (const Grab& g : g_grabs) {
        if (g.keycode == e->xkey.keycode && g.xmods == mods) {
            Window::Post(g.wnd, WM_HOTKEY, static_cast<WPARAM>(g.id),
                         static_cast<LPARAM>(g.modifiers | (g.vk << 16)));
            return GDK_FILTER_REMOVE;
        }
    }
    return GDK_FILTER_CONTINUE;
}

}  // namespace

void ForgetHotKeys(Handle wnd) {
    Display* dpy = XDisplay();
    for (auto it = g_grabs.begin(); it != g_grabs.end();) {
        if (it->wnd != wnd) {
            ++it;
            continue;
        }
        Grab g = *it;
        it = g_grabs.erase(it);
        if (dpy && !StillGrabbed(g.keycode, g.xmods)) Ungrab(dpy, g.keycode, g.xmods);
    }
}

}  // namespace fw::gtk

namespace fw {

bool RegisterHotKey(Handle wnd, int id, unsigned modifiers, unsigned vk) {
    using namespace gtk;
    Display* dpy = XDisplay();
    if (!dpy || !Window::FromHandle(wnd)) return false;
    modifiers &= ~kModNoRepeat;
    if (modifiers & ~(MOD_ALT | MOD_CONTROL | MOD_SHIFT | kModWin)) return false;
    unsigned keysym = KeysymFromVk(vk);
    if (!keysym) return false;
    KeyCode kc = XKeysymToKeycode(dpy, keysym);
    if (!kc) return false;
    unsigned xmods = XModsFrom(modifiers);
    // One combination, one owner, as on Windows: a second registration in this process fails.
    if (StillGrabbed(kc, xmods)) return false;

    GdkDisplay* d = gdk_display_get_default();
    gdk_x11_display_error_trap_push(d);
    for (unsigned lock : kLockCombos)
        XGrabKey(dpy, kc, xmods | lock, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync);
    if (gdk_x11_display_error_trap_pop(d) != 0) {
        // Another program holds it (BadAccess): give back the grabs that did succeed.
        Ungrab(dpy, kc, xmods);
        return false;
    }
    if (!g_filterInstalled) {
        gdk_window_add_filter(gdk_get_default_root_window(), RootFilter, nullptr);
        g_filterInstalled = true;
    }
    g_grabs.push_back({wnd, id, modifiers, vk, kc, xmods});
    return true;
}

bool UnregisterHotKey(Handle wnd, int id) {
    using namespace gtk;
    Display* dpy = XDisplay();
    bool found = false;
    for (auto it = g_grabs.begin(); it != g_grabs.end();) {
        if (it->wnd != wnd || it->id != id) {
            ++it;
            continue;
        }
        Grab g = *it;
        it = g_grabs.erase(it);
        found = true;
        if (dpy && !StillGrabbed(g.keycode, g.xmods)) Ungrab(dpy, g.keycode, g.xmods);
    }
    return found;
}

}  // namespace fw

