// Start-up of GTK on X11 and the message loop: a GMainLoop, with posted messages delivered
// from an idle source that any thread may schedule.
//
// SIGTERM, SIGINT and SIGHUP end the program as the user would: the main window is asked to
// close (it removes its tray icon and destroys itself, which ends the loop with exit code 0).
// A second signal, or one that finds no main window, ends the loop at once.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <vector>

#include "fw/app.h"
#include "fw/backend.h"
#include "fw/gtk/browser_loader.h"
#include "fw/gtk/gtk_modal.h"
#include "fw/gtk/gtk_native.h"
#include "fw/trace.h"
#include "fw/window.h"

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

// Once the program is quitting, message boxes still open (each runs its own loop) answer as
// if closed, so that nothing waits for a user who has asked the program to end.
gboolean EndMessageBoxes(gpointer) {
    if (!QuitRequested()) return G_SOURCE_CONTINUE;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next) {
        auto* w = static_cast<GtkWidget*>(l->data);
        if (GTK_IS_DIALOG(w) && gtk_window_get_modal(GTK_WINDOW(w)) && gtk_widget_get_visible(w))
            gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_DELETE_EVENT);
    }
    g_list_free(tops);
    return G_SOURCE_CONTINUE;  // a box opened on the way out is closed too
}

// From the first quit request on (a signal, or fw::Quit: the main window destroyed, say by the
// tray's 退出 while a box waits for an answer), open boxes are closed now and every 50 ms.
void EndMessageBoxesFromNowOn() {
    static bool watching = false;
    if (watching) return;
    watching = true;
    g_timeout_add(50, EndMessageBoxes, nullptr);
    EndMessageBoxes(nullptr);
}

gboolean OnQuitSignal(gpointer) {
    static bool asked = false;
    EndMessageBoxesFromNowOn();
    Window* main = MainWindow();
    if (!asked && main && main->IsWindow() && Window::Post(main->handle(), WM_CLOSE)) {
        asked = true;
        return G_SOURCE_CONTINUE;
    }
    Quit(0);
    return G_SOURCE_CONTINUE;
}
}  // namespace

bool Ready() { return g_ready; }

void PushLoop(GMainLoop* loop) { g_loops.push_back(loop); }

void PopLoop(GMainLoop* loop) {
    auto it = std::find(g_loops.rbegin(), g_loops.rend(), loop);
    if (it != g_loops.rend()) g_loops.erase(std::next(it).base());
}

}  // namespace fw::gtk

namespace fw {

void InitPlatform(int& argc, char**& argv) {
    TraceMark("init");
    // The client places its own windows and grabs a global key: X11 only, also under
    // XWayland.
    gdk_set_allowed_backends("x11");
    g_set_prgname("raduvove");
    // The accessibility bridge costs a D-Bus round trip at start-up and is not used.
    g_setenv("NO_AT_BRIDGE", "1", FALSE);
    // What the browser engine reads from the environment is settled before any thread runs.
    gtk::browser::PrepareEnvironment();
    backend::InstallFontAliases();
    gtk::g_ready = gtk_init_check(&argc, &argv);
    if (!gtk::g_ready) {
        std::fprintf(stderr, "raduvove: cannot open the X display\n");
        return;
    }
    gtk::InstallInputFilter();
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) g_unix_signal_add(sig, gtk::OnQuitSignal, nullptr);
    // The browser engine loads on a thread of its own while the first windows are made. Not
    // earlier: the toolkit's start loads libraries too, and while the dynamic loader loads one
    // it makes every other load, symbol look-up and new thread wait (the toolkit would wait
    // for the whole engine). For the same reason what the toolkit would otherwise load or
    // start on demand meanwhile comes first (GLib's signal thread has just started).
    gtk::StartLazyPartsNow();
    gtk::browser::StartLoading();
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
    gtk::PushLoop(loop);
    g_main_loop_run(loop);
    gtk::PopLoop(loop);
    g_main_loop_unref(loop);
    // The program ends: a page that hangs in a script must not keep its process alive.
    if (gtk::g_loops.empty()) gtk::browser::EndEngineProcesses();
}

void QuitLoop() {
    // A message box runs a loop of its own, which the loops below do not include.
    if (gtk::Ready()) gtk::EndMessageBoxesFromNowOn();
    if (gtk::g_loops.empty()) {
        gtk::g_quitBeforeRun = true;
        return;
    }
    for (GMainLoop* l : gtk::g_loops) g_main_loop_quit(l);
}

}  // namespace fw::backend
