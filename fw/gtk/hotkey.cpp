// System-wide hot keys: passive key grabs on the X root window, read through a GDK event
// filter. Each combination is grabbed four times, with and without CapsLock and NumLock, so
// that neither lock disturbs it. One press posts one WM_HOTKEY however long the key is held:
// the key's auto-repeat is dropped, so that a toggle such as the boss key is not flipped back
// and forth by a key held a little long, or by a release the X server handles late under load.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <vector>

#include "fw/gtk/gtk_native.h"
#include "fw/hotkey.h"
#include "fw/trace.h"

namespace fw::gtk {

namespace {

struct Grab {
    Handle wnd;
    int id;
    unsigned modifiers;  // MOD_*
    unsigned vk;
    KeyCode keycode;
    unsigned xmods;  // X modifier mask without the locks
};

// The press state of one grabbed key, for telling its auto-repeat from a new press.
struct KeyState {
    KeyCode keycode;
    bool down;      // pressed, its release not seen yet
    Time last;      // the server time of its last press or repeat
    Time released;  // the server time of its last release
};

std::vector<Grab> g_grabs;
std::vector<KeyState> g_keys;
bool g_filterInstalled = false;

// A repeat follows the press after the keyboard's repeat delay (660 ms unless the user set
// another), then at its rate. A press while the key still counts as down but longer than this
// after its last event is taken as new: so a release that never reached us (our grab broken
// while the key was held) costs one press at most, never the key.
constexpr Time kRepeatGapMs = 2000;
constexpr Time kRepeatPairMs = 5;

constexpr unsigned kLockCombos[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
constexpr unsigned kRelevantMods = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

constexpr unsigned kModWin = 0x8;          // Windows' MOD_WIN: the Super key
constexpr unsigned kModNoRepeat = 0x4000;  // Windows' MOD_NOREPEAT: a press never repeats here

unsigned XModsFrom(unsigned modifiers) {
    unsigned m = 0;
    if (modifiers & kModWin) m |= Mod4Mask;
    if (modifiers & MOD_ALT) m |= Mod1Mask;
    if (modifiers & MOD_CONTROL) m |= ControlMask;
    if (modifiers & MOD_SHIFT) m |= ShiftMask;
    return m;
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

KeyState& StateOf(KeyCode kc) {
    for (KeyState& k : g_keys)
        if (k.keycode == kc) return k;
    return g_keys.emplace_back(KeyState{kc, false, 0, 0});
}

// Whether a press of a grabbed key is its auto-repeat. GDK asks the X server for detectable
// auto-repeat, which sends a held key's repeats as presses without releases between them;
// a server without it sends a release and a press at (nearly) the same time for each repeat,
// closer together than any key can be let go and pressed again.
bool IsRepeat(const XKeyEvent& e) {
    KeyState& k = StateOf(static_cast<KeyCode>(e.keycode));
    const bool repeat = (k.down && e.time - k.last < kRepeatGapMs) || (!k.down && e.time - k.released <= kRepeatPairMs);
    k.down = true;
    k.last = e.time;
    return repeat;
}

GdkFilterReturn RootFilter(GdkXEvent* xev, GdkEvent*, gpointer) {
    auto* e = static_cast<XEvent*>(xev);
    if (e->type == KeyRelease) {
        for (KeyState& k : g_keys) {
            if (k.keycode == e->xkey.keycode) {
                k.down = false;
                k.released = e->xkey.time;
            }
        }
        return GDK_FILTER_CONTINUE;
    }
    if (e->type != KeyPress) return GDK_FILTER_CONTINUE;
    unsigned mods = e->xkey.state & kRelevantMods;
    for (const Grab& g : g_grabs) {
        if (g.keycode == e->xkey.keycode && g.xmods == mods) {
            if (IsRepeat(e->xkey)) {
                fw::TraceMark("hot-key-repeat");
                return GDK_FILTER_REMOVE;
            }
            Window::Post(g.wnd, WM_HOTKEY, static_cast<WPARAM>(g.id), static_cast<LPARAM>(g.modifiers | (g.vk << 16)));
            return GDK_FILTER_REMOVE;
        }
    }
    return GDK_FILTER_CONTINUE;
}

}  // namespace

Display* X11Display() {
    GdkDisplay* d = gdk_display_get_default();
    return d && GDK_IS_X11_DISPLAY(d) ? gdk_x11_display_get_xdisplay(d) : nullptr;
}

void ForgetHotKeys(Handle wnd) {
    Display* dpy = X11Display();
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
    Display* dpy = X11Display();
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
    Display* dpy = X11Display();
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
