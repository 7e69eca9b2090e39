// Tool tips on GTK: a small pop-up window (override-redirect, so no window manager frames
// or focuses it) with one label, styled as the system's tips look, that lets the mouse
// through. One per fw window; it goes down when its window is hidden, minimised or
// destroyed.
#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <memory>

#include "fw/gtk/gtk_native.h"
#include "fw/tooltip.h"

namespace fw::gtk {

namespace {

constexpr const char* kTipName = "fw-tooltip";
constexpr int kBelowPointer = 20;  // the tip sits under the mouse pointer, as Windows puts it

struct Tip {
    Handle owner = kNoWindow;
    GtkWidget* ownerWin = nullptr;  // the owner's toplevel
    GtkWidget* popup = nullptr;     // while the tip is up
};

std::map<Handle, std::unique_ptr<Tip>> g_tips;

void InstallStyle() {
    static bool done = false;
    if (done) return;
    done = true;
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css,
                                    "#fw-tooltip { background-color: #ffffff; border: 1px solid #767676; }"
                                    "#fw-tooltip label { color: #575757; padding: 2px 5px;"
                                    " font-family: \"Microsoft YaHei\", sans-serif; font-size: 12px; }",
                                    -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

// A tip that goes down is destroyed, and the next one is a new pop-up: GTK places a pop-up
// it shows for the first time where it was asked to, while a hidden one may come back at
// its old place.
void TakeDown(Tip* t) {
    if (t->popup) gtk_widget_destroy(t->popup);
    t->popup = nullptr;
}

void Forget(Handle h) {
    auto it = g_tips.find(h);
    if (it == g_tips.end()) return;
    Tip* t = it->second.get();
    if (t->ownerWin) g_signal_handlers_disconnect_by_data(t->ownerWin, t);
    TakeDown(t);
    g_tips.erase(it);
}

void OnOwnerUnmapped(GtkWidget*, Tip* t) { TakeDown(t); }

// Minimising does not unmap the widget; the window's state tells.
gboolean OnOwnerState(GtkWidget*, GdkEventWindowState* e, Tip* t) {
    if (e->new_window_state & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN)) TakeDown(t);
    return FALSE;
}

void OnOwnerDestroyed(GtkWidget*, Tip* t) {
    t->ownerWin = nullptr;  // its signals go with it
    Forget(t->owner);
}

Tip* TipFor(Window& w) {
    GtkWindow* top = ToplevelOf(w.native());
    if (!top) return nullptr;
    auto& slot = g_tips[w.handle()];
    if (slot && slot->ownerWin == GTK_WIDGET(top)) return slot.get();
    if (slot) Forget(w.handle());
    auto t = std::make_unique<Tip>();
    t->owner = w.handle();
    t->ownerWin = GTK_WIDGET(top);
    g_signal_connect(t->ownerWin, "unmap", G_CALLBACK(OnOwnerUnmapped), t.get());
    g_signal_connect(t->ownerWin, "window-state-event", G_CALLBACK(OnOwnerState), t.get());
    g_signal_connect(t->ownerWin, "destroy", G_CALLBACK(OnOwnerDestroyed), t.get());
    Tip* raw = t.get();
    g_tips[w.handle()] = std::move(t);
    return raw;
}

GtkWidget* MakePopup(GtkWidget* ownerWin) {
    InstallStyle();
    GtkWidget* popup = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_widget_set_name(popup, kTipName);
    gtk_window_set_type_hint(GTK_WINDOW(popup), GDK_WINDOW_TYPE_HINT_TOOLTIP);
    gtk_window_set_transient_for(GTK_WINDOW(popup), GTK_WINDOW(ownerWin));
    gtk_window_set_resizable(GTK_WINDOW(popup), FALSE);
    GtkWidget* label = gtk_label_new("");
    gtk_container_add(GTK_CONTAINER(popup), label);
    gtk_widget_show(label);
    // The mouse passes through: the tip under the pointer must not make its window think
    // the pointer left.
    cairo_region_t* none = cairo_region_create();
    gtk_widget_input_shape_combine_region(popup, none);
    cairo_region_destroy(none);
    return popup;
}

Tip* Existing(const Window& w) {
    if (!w.IsWindow()) return nullptr;
    auto it = g_tips.find(w.handle());
    return it == g_tips.end() ? nullptr : it->second.get();
}

// The tip's top-left corner for a pointer at `p` (screen): under it, kept on its monitor;
// above it when there is no room below.
Point Place(Point p, int w, int h) {
    GdkRectangle area{p.x, p.y, 1, 1};
    if (GdkDisplay* d = gdk_display_get_default())
        if (GdkMonitor* m = gdk_display_get_monitor_at_point(d, p.x, p.y)) gdk_monitor_get_geometry(m, &area);
    int x = p.x, y = p.y + kBelowPointer;
    if (y + h > area.y + area.height) y = p.y - h - 2;
    x = std::max(area.x, std::min(x, area.x + area.width - w));
    y = std::max(area.y, y);
    return {x, y};
}

}  // namespace

}  // namespace fw::gtk

namespace fw {

void ShowTooltip(Window& w, const std::string& text, Point client) {
    using namespace gtk;
    if (!Ready() || !w.IsWindow()) return;
    if (text.empty() || !w.IsVisible() || w.IsMinimized()) {
        HideTooltip(w);
        return;
    }
    Tip* t = TipFor(w);
    if (!t) return;
    const bool fresh = !t->popup;
    if (fresh) t->popup = MakePopup(t->ownerWin);
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(t->popup));
    gtk_label_set_text(GTK_LABEL(label), ValidUtf8(text).c_str());
    GtkRequisition size{};
    gtk_widget_get_preferred_size(t->popup, nullptr, &size);
    gtk_window_resize(GTK_WINDOW(t->popup), std::max(1, size.width), std::max(1, size.height));
    Point at = Place(w.ClientToScreen(client), size.width, size.height);
    gtk_window_move(GTK_WINDOW(t->popup), at.x, at.y);
    if (fresh) gtk_widget_show(t->popup);
}

void HideTooltip(Window& w) {
    if (gtk::Tip* t = gtk::Existing(w)) gtk::TakeDown(t);
}

bool TooltipVisible(const Window& w) {
    const gtk::Tip* t = gtk::Existing(w);
    return t && t->popup;
}

}  // namespace fw
