// The desktop around the client: the clock, screen and work area of the primary monitor,
// the monitors a rectangle is on, and the default browser.
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

std::vector<detail::Monitor> Monitors() {
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
