// Modal loops on GTK: a nested GMainLoop per modal window, and an event filter in front of
// GTK's own event handling that keeps input away from the windows a modal loop disables
// (the owner and its children, browser views inside them included), as a disabled window
// on Windows takes none. A click on such a window brings the modal window forward instead.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fw/app.h"
#include "fw/backend.h"
#include "fw/dialog.h"
#include "fw/gtk/gtk_modal.h"
#include "fw/gtk/gtk_native.h"

namespace fw::gtk {

namespace {

constexpr const char* kHandleKey = "fw-window-handle";
constexpr const char* kKeyControlKey = "fw-key-control";

struct RunningModal {
    Handle dlg = kNoWindow;
    const bool* ended = nullptr;
    GMainLoop* loop = nullptr;
};

std::vector<RunningModal*> g_modals;  // innermost last (UI thread)
bool g_filterInstalled = false;

bool IsInput(GdkEventType t) {
    switch (t) {
    case GDK_MOTION_NOTIFY:
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_SCROLL:
    case GDK_TOUCH_BEGIN:
    case GDK_TOUCH_UPDATE:
    case GDK_TOUCH_END:
    case GDK_TOUCH_CANCEL:
    case GDK_TOUCHPAD_SWIPE:
    case GDK_TOUCHPAD_PINCH:
    case GDK_DELETE:  // the window manager's close: a disabled window cannot be closed either
        return true;
    default: return false;
    }
}

// The fw window whose toplevel holds the event's window; null for GTK's own windows.
Window* TargetOf(const GdkEvent* e) {
    GdkWindow* gw = e->any.window;
    if (!gw) return nullptr;
    GdkWindow* top = gdk_window_get_toplevel(gw);
    gpointer data = nullptr;
    gdk_window_get_user_data(top, &data);
    if (!data || !GTK_IS_WIDGET(data)) return nullptr;
    return Window::FromHandle(HandleOfToplevel(GTK_WIDGET(data)));
}

// The modal window the user should turn to: the innermost one still there.
void BringModalForward() {
    for (auto it = g_modals.rbegin(); it != g_modals.rend(); ++it) {
        if (Window* d = Window::FromHandle((*it)->dlg)) {
            if (d->IsVisible() && !d->IsMinimized()) d->SetForeground();
            return;
        }
    }
}

void FilterEvent(GdkEvent* e, gpointer) {
    if (!g_modals.empty() && IsInput(e->type)) {
        Window* w = TargetOf(e);
        if (w && IsDisabled(*w)) {
            if (e->type == GDK_BUTTON_PRESS) BringModalForward();
            return;
        }
    }
    gtk_main_do_event(e);
}

}  // namespace

void TagToplevel(GtkWidget* toplevel, Handle h) {
    if (!toplevel) return;
    static_assert(sizeof(gpointer) >= sizeof(std::uintptr_t));
    g_object_set_data(G_OBJECT(toplevel), kHandleKey, reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(h)));
}

Handle HandleOfToplevel(GtkWidget* toplevel) {
    if (!toplevel) return kNoWindow;
    gpointer data = g_object_get_data(G_OBJECT(toplevel), kHandleKey);
    return static_cast<Handle>(reinterpret_cast<std::uintptr_t>(data));
}

void InstallInputFilter() {
    if (g_filterInstalled) return;
    g_filterInstalled = true;
    gdk_event_handler_set(FilterEvent, nullptr, nullptr);
}

void ModalWindowGone(Handle h) {
    for (RunningModal* m : g_modals)
        if (m->dlg == h) g_main_loop_quit(m->loop);
}

void MarkKeyControl(GtkWidget* w) {
    if (w) g_object_set_data(G_OBJECT(w), kKeyControlKey, GINT_TO_POINTER(1));
}

bool IsKeyControl(GtkWidget* w) { return w && g_object_get_data(G_OBJECT(w), kKeyControlKey) != nullptr; }

}  // namespace fw::gtk

namespace fw::backend {

void RunModalLoop(Window& dlg, const bool& ended) {
    const Handle h = dlg.handle();
    auto over = [&] { return ended || !Window::FromHandle(h) || QuitRequested(); };
    if (over()) return;
    // InitPlatform installs the filter; a program that started GTK by itself gets it here,
    // since it is what keeps the owner's input away.
    gtk::InstallInputFilter();

    gtk::RunningModal m;
    m.dlg = h;
    m.ended = &ended;
    m.loop = g_main_loop_new(nullptr, FALSE);
    gtk::g_modals.push_back(&m);
    gtk::PushLoop(m.loop);
    // Quit requests come from EndModal (through WakeModalLoop), from the dialog's destruction
    // and from fw::Quit; the condition is checked again after each, so a quit meant for
    // another reason cannot end the loop early.
    while (!over()) g_main_loop_run(m.loop);
    gtk::PopLoop(m.loop);
    std::erase(gtk::g_modals, &m);
    g_main_loop_unref(m.loop);
}

void WakeModalLoop() {
    for (gtk::RunningModal* m : gtk::g_modals)
        if (*m->ended) g_main_loop_quit(m->loop);
}

}  // namespace fw::backend
