// The desktop around the client: the clock, screen and work area of the primary monitor,
// and the default browser.
#include <gtk/gtk.h>

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

bool ShellOpenUrl(const std::string& url) {
    if (!IsWebAddress(url)) return false;
    GError* err = nullptr;
    gboolean ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &err);
    if (err) g_error_free(err);
    return ok;
}

}  // namespace fw
