// Start-up of GTK on X11 and the message loop: a GMainLoop, with posted messages delivered
// from an idle source that any thread may schedule.
#include <gtk/gtk.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "fw/app.h"
#include "fw/backend.h"
#include "fw/gtk/gtk_native.h"
#include "fw/posix/fonts.h"

namespace fw::gtk {

namespace {
bool g_ready = false;
std::atomic<bool> g_wakePending{false};
std::vector<GMainLoop*> g_loops;  // running loops, innermost last (UI thread)
bool g_quitBeforeRun = false;

gboolean DispatchPostedIdle(gpointer) {
    // Cleared first: a message posted while these are delivered schedules another round.
    g_wakePending = false;
    fw::detail::DispatchPosted();
    return G_SOURCE_REMOVE;
}
}  // namespace

bool Ready() { return g_ready; }

}  // namespace fw::gtk

namespace fw {

void InitPlatform(int& argc, char**& argv) {
    // The client places its own windows and grabs a global key: X11 only, also under
    // XWayland.
    gdk_set_allowed_backends("x11");
    g_set_prgname("raduvove");
    // The accessibility bridge costs a D-Bus round trip at start-up and is not used.
    g_setenv("NO_AT_BRIDGE", "1", FALSE);
    InstallFontAliases();
    gtk::g_ready = gtk_init_check(&argc, &argv);
    if (!gtk::g_ready) std::fprintf(stderr, "raduvove: cannot open the X display\n");
}

}  // namespace fw

namespace fw::backend {

void Wakeup() {
    if (gtk::g_wakePending.exchange(true)) return;
    g_idle_add_full(G_PRIORITY_DEFAULT, gtk::DispatchPostedIdle, nullptr, nullptr);
}

void RunLoop() {
    if (gtk::g_quitBeforeRun) {
        gtk::g_quitBeforeRun = false;
        return;
    }
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    gtk::g_loops.push_back(loop);
    g_main_loop_run(loop);
    gtk::g_loops.pop_back();
    g_main_loop_unref(loop);
}

void QuitLoop() {
    if (gtk::g_loops.empty()) {
        gtk::g_quitBeforeRun = true;
        return;
    }
    for (GMainLoop* l : gtk::g_loops) g_main_loop_quit(l);
}

}  // namespace fw::backend
