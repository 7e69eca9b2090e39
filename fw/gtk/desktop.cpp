// The desktop around the client: the clock, screen and work area of the primary monitor,
// the monitors a rectangle is on, and the default browser.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <vector>

#include "fw/common/monitors.h"
#include "fw/gtk/gtk_native.h"
#include "fw/shell.h"
#include "fw/system.h"

namespace fw {

namespace {
GdkMonitor* PrimaryMonitor() {
    GdkDisplay* d = gdk_display_get_default();
    if (!d) return nullptr;
    GdkMonitor* m = gdk_display_get_primary_monitor(d);
    if (!m && gdk_display_get_n_monitors(d) > 0) m = gdk_display_get_monitor(d, 0);
    return m;
}

std::vector<detail::Monitor> GdkMonitors() {
    std::vector<detail::Monitor> out;
    GdkDisplay* d = gdk_display_get_default();
    const int count = d ? gdk_display_get_n_monitors(d) : 0;
    for (int i = 0; i < count; ++i) {
        GdkMonitor* m = gdk_display_get_monitor(d, i);
        if (!m) continue;
        GdkRectangle g{}, w{};
        gdk_monitor_get_geometry(m, &g);
        gdk_monitor_get_workarea(m, &w);
        out.push_back({Rect::FromXYWH(g.x, g.y, g.width, g.height), Rect::FromXYWH(w.x, w.y, w.width, w.height)});
    }
    return out;
}

// The monitors as the X server lists them (RandR 1.5), the list window managers go by. GDK
// leaves out a monitor that has no output of its own (a screen divided with xrandr
// --setmonitor): it would maximise a window onto a monitor the window manager does not use.
// A monitor GDK knows keeps GDK's work area; the others have none less than their rectangle,
// as GDK gives every monitor but the primary.
std::vector<detail::Monitor> Monitors() {
    std::vector<detail::Monitor> known = GdkMonitors();
    GdkDisplay* d = gdk_display_get_default();
    if (!d || !GDK_IS_X11_DISPLAY(d)) return known;
    Display* x = GDK_DISPLAY_XDISPLAY(d);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(x, &event, &error) || !XRRQueryVersion(x, &major, &minor) || major * 100 + minor < 105)
        return known;
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(x, DefaultRootWindow(x), True, &count);
    if (!info) return known;
    std::vector<detail::Monitor> out;
    for (int i = 0; i < count; ++i) {
        const Rect area = Rect::FromXYWH(info[i].x, info[i].y, info[i].width, info[i].height);
        Rect work = area;
        for (const detail::Monitor& m : known)
            if (m.area == area) work = m.work;
        out.push_back({area, work});
    }
    XRRFreeMonitors(info);
    return out.empty() ? known : out;
}
}  // namespace

std::uint64_t TickCountMs() { return static_cast<std::uint64_t>(g_get_monotonic_time() / 1000); }

Size ScreenSize() {
    GdkMonitor* m = PrimaryMonitor();
    if (!m) return {};
    GdkRectangle g{};
    gdk_monitor_get_geometry(m, &g);
    return {g.width, g.height};
}

Rect WorkArea() {
    GdkMonitor* m = PrimaryMonitor();
    if (!m) return {};
    GdkRectangle g{};
    gdk_monitor_get_workarea(m, &g);
    return Rect::FromXYWH(g.x, g.y, g.width, g.height);
}

Rect MonitorWorkArea(const Rect& r) { return detail::MonitorWorkAreaIn(Monitors(), r); }

bool OnSomeMonitor(const Rect& r, int margin) { return detail::OnSomeMonitorIn(Monitors(), r, margin); }

bool ShellOpenUrl(const std::string& url) {
    if (!IsWebAddress(url)) return false;
    GError* err = nullptr;
    gboolean ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &err);
    if (err) g_error_free(err);
    return ok;
}

}  // namespace fw
