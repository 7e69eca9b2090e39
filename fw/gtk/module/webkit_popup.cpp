// Windows that a page opened (window.open, a target=_blank link) and the host let through:
// a plain browser window of the module's own, never an fw window. It belongs to the window of
// the page that opened it: kept above it, hidden and shown with it (the boss key), and closed
// when it goes. The windows a pop-up's page asks for are asked of the control whose page
// opened the first pop-up, so that its host's limits hold for the whole chain.
#include <webkit2/webkit2.h>

#include <memory>

#include "fw/gtk/module/webkit_view.h"

namespace fw::gtk::browser {

namespace {

void PopupReady(WebKitWebView* view, GtkWidget* win) {
    WebKitWindowProperties* props = webkit_web_view_get_window_properties(view);
    GdkRectangle g{};
    webkit_window_properties_get_geometry(props, &g);
    if (g.width > 0 && g.height > 0) gtk_window_resize(GTK_WINDOW(win), g.width, g.height);
    if (g.x > 0 || g.y > 0) gtk_window_move(GTK_WINDOW(win), g.x, g.y);
    gtk_widget_show_all(win);
}

void PopupClose(WebKitWebView*, GtkWidget* win) { gtk_widget_destroy(win); }

void PopupTitle(WebKitWebView* view, GParamSpec*, GtkWidget* win) {
    const char* t = webkit_web_view_get_title(view);
    gtk_window_set_title(GTK_WINDOW(win), t ? t : "");
}

// A pop-up's page asks the control whose page opened the first pop-up, so that the limits of
// its host hold for every window the chain opens (one per click, a few in a short time).
// Clicks and keys in the pop-up count as its own user actions.
struct PopupGuard {
    std::weak_ptr<char> alive;  // the opening control's
    WebkitView* root;
    unsigned inputSerial = 0;
    unsigned newWindowSerial = 0;
};
constexpr const char* kPopupGuard = "rv-popup-guard";

gboolean PopupInput(GtkWidget*, GdkEvent* event, PopupGuard* guard) {
    if (event->type == GDK_BUTTON_PRESS || event->type == GDK_KEY_PRESS) ++guard->inputSerial;
    return FALSE;
}

GtkWidget* PopupCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer);

// A pop-up goes out of sight with the window of the page that opened it (the boss key), and
// only one that was on the screen then comes back with it.
constexpr const char* kHiddenWithOwner = "rv-hidden-with-owner";

void PopupOwnerHidden(GtkWidget* win) {
    if (!gtk_widget_get_visible(win)) return;
    g_object_set_data(G_OBJECT(win), kHiddenWithOwner, GINT_TO_POINTER(1));
    gtk_widget_hide(win);
}

void PopupOwnerShown(GtkWidget* win) {
    if (!g_object_get_data(G_OBJECT(win), kHiddenWithOwner)) return;
    g_object_set_data(G_OBJECT(win), kHiddenWithOwner, nullptr);
    gtk_widget_show(win);
}

}  // namespace

GtkWidget* OpenPopup(WebKitWebView* related, const std::shared_ptr<char>& rootAlive, WebkitView* root) {
    // Its own content manager: the control's close handler must not hear the pop-up.
    WebKitUserContentManager* ucm = webkit_user_content_manager_new();
    WebKitWebsitePolicies* policies = NewWebsitePolicies();
    GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "user-content-manager",
                                              ucm, "website-policies", policies, nullptr));
    g_object_unref(policies);
    g_object_unref(ucm);
    webkit_web_view_set_is_muted(WEBKIT_WEB_VIEW(view), ViewsMuted());
    GtkWidget* win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(win), 1024, 768);
    GtkWidget* owner = gtk_widget_get_toplevel(GTK_WIDGET(related));
    if (GTK_IS_WINDOW(owner)) {
        gtk_window_set_transient_for(GTK_WINDOW(win), GTK_WINDOW(owner));
        gtk_window_set_destroy_with_parent(GTK_WINDOW(win), TRUE);
        g_signal_connect_object(owner, "hide", G_CALLBACK(PopupOwnerHidden), win, G_CONNECT_SWAPPED);
        g_signal_connect_object(owner, "show", G_CALLBACK(PopupOwnerShown), win, G_CONNECT_SWAPPED);
    }
    gtk_container_add(GTK_CONTAINER(win), view);
    g_signal_connect(view, "ready-to-show", G_CALLBACK(PopupReady), win);
    g_signal_connect(view, "close", G_CALLBACK(PopupClose), win);
    g_signal_connect(view, "notify::title", G_CALLBACK(PopupTitle), win);
    auto* guard = new PopupGuard{rootAlive, root};
    g_object_set_data_full(G_OBJECT(view), kPopupGuard, guard, [](gpointer g) { delete static_cast<PopupGuard*>(g); });
    g_signal_connect(view, "button-press-event", G_CALLBACK(PopupInput), guard);
    g_signal_connect(view, "key-press-event", G_CALLBACK(PopupInput), guard);
    g_signal_connect(view, "create", G_CALLBACK(PopupCreate), nullptr);
    return view;
}

namespace {

GtkWidget* PopupCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer) {
    auto* guard = static_cast<PopupGuard*>(g_object_get_data(G_OBJECT(view), kPopupGuard));
    if (!guard) return nullptr;
    std::shared_ptr<char> alive = guard->alive.lock();
    if (!alive) return nullptr;  // the control that opened the chain is gone: nobody to ask
    unsigned flags = 0;
    if (action && webkit_navigation_action_is_user_gesture(action)) {
        flags = NWMF_USERINITED;
        if (guard->inputSerial != guard->newWindowSerial) {
            flags |= NWMF_FIRST;
            guard->newWindowSerial = guard->inputSerial;
        }
    }
    WebkitView* root = guard->root;
    if (!root->HostAllowsNewWindow(RequestUri(action), flags) || guard->alive.expired()) return nullptr;
    return OpenPopup(view, alive, root);
}

}  // namespace

}  // namespace fw::gtk::browser
