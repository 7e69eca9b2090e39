// Sound in pages: pages play sound without waiting for a click, as the system's browser
// control lets them (a game starts its music as it loads; the engine's default lets media
// start only muted), and every view of the program, pop-ups included, can be silenced at once
// (the boss key). The view's own mute is apart from what a page does with its media: a page
// that silenced itself stays silent when the view gets its sound back.
#include <webkit2/webkit2.h>

#include "fw/gtk/module/webkit_view.h"

namespace fw::gtk::browser {

namespace {

bool g_viewsMuted = false;

void MuteViewsIn(GtkWidget* w, gpointer) {
    if (WEBKIT_IS_WEB_VIEW(w))
        webkit_web_view_set_is_muted(WEBKIT_WEB_VIEW(w), g_viewsMuted);
    else if (GTK_IS_CONTAINER(w))
        gtk_container_forall(GTK_CONTAINER(w), MuteViewsIn, nullptr);
}

// A pop-up goes out of sight with the window of the page that opened it (the boss key), and
// only one that was on the screen then comes back with it.

}  // namespace

WebKitWebsitePolicies* NewWebsitePolicies() {
    return webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
}

bool ViewsMuted() { return g_viewsMuted; }

void MuteAllViews(bool muted) {
    g_viewsMuted = muted;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next) MuteViewsIn(GTK_WIDGET(l->data), nullptr);
    g_list_free(tops);
}

}  // namespace fw::gtk::browser
