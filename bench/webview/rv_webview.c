/* rv-webview: the smallest WebKitGTK program that shows a page, the yardstick of the
 * side-by-side benchmark. One window, one view, the engine's default web context, nothing
 * else: no script bridge, no skin, no extension.
 *
 *   rv-webview [--accelerated | --policy=never|always|on-demand] [--size=WxH | --maximize]
 *              [--canvas-acceleration=on|off] [--rgba] [--title=TEXT] URL
 *
 * By default the view is not accelerated (hardware-acceleration policy NEVER): pages are
 * painted on the CPU without the compositor's layers. --accelerated sets ALWAYS.
 * --canvas-acceleration sets whether 2D canvases are drawn with GL when the view is accelerated
 * (the engine's default: on). --rgba puts
 * the window on the screen's 32-bit visual, as a window with per-pixel alpha is. The window
 * is 788x387 unless told otherwise. It ends when its window is closed or on SIGTERM/SIGINT.
 */
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <webkit2/webkit2.h>

static gboolean on_signal(gpointer data) {
    (void)data;
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

static int usage(void) {
    fputs(
        "usage: rv-webview [--accelerated | --policy=never|always|on-demand] "
        "[--size=WxH | --maximize] [--canvas-acceleration=on|off] [--rgba] [--title=TEXT] URL\n",
        stderr);
    return 2;
}

int main(int argc, char** argv) {
    WebKitHardwareAccelerationPolicy policy = WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER;
    int width = 788, height = 387;
    gboolean maximize = FALSE, rgba = FALSE;
    int canvas = -1; /* the engine's default */
    const char* title = "rv-webview";
    const char* url = NULL;

    gtk_init(&argc, &argv);
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (strcmp(a, "--accelerated") == 0 || strcmp(a, "--policy=always") == 0) {
            policy = WEBKIT_HARDWARE_ACCELERATION_POLICY_ALWAYS;
        } else if (strcmp(a, "--policy=never") == 0) {
            policy = WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER;
        } else if (strcmp(a, "--policy=on-demand") == 0) {
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            policy = WEBKIT_HARDWARE_ACCELERATION_POLICY_ON_DEMAND;
            G_GNUC_END_IGNORE_DEPRECATIONS
        } else if (strncmp(a, "--size=", 7) == 0) {
            char tail = 0;
            if (sscanf(a + 7, "%dx%d%c", &width, &height, &tail) != 2 || width < 1 || height < 1 || width > 16384 ||
                height > 16384)
                return usage();
        } else if (strcmp(a, "--canvas-acceleration=on") == 0 || strcmp(a, "--canvas-acceleration=off") == 0) {
            canvas = strcmp(a + 22, "on") == 0;
        } else if (strcmp(a, "--maximize") == 0) {
            maximize = TRUE;
        } else if (strcmp(a, "--rgba") == 0) {
            rgba = TRUE;
        } else if (strncmp(a, "--title=", 8) == 0) {
            title = a + 8;
        } else if (a[0] == '-' || url) {
            return usage();
        } else {
            url = a;
        }
    }
    if (!url) return usage();

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), title);
    gtk_window_set_default_size(GTK_WINDOW(window), width, height);
    if (rgba) {
        GdkVisual* visual = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window));
        if (visual)
            gtk_widget_set_visual(window, visual);
        else
            fputs("rv-webview: the screen has no 32-bit visual\n", stderr);
    }
    if (maximize) gtk_window_maximize(GTK_WINDOW(window));

    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_hardware_acceleration_policy(settings, policy);
    if (canvas >= 0) webkit_settings_set_enable_2d_canvas_acceleration(settings, canvas);
    GtkWidget* view = webkit_web_view_new_with_settings(settings);
    g_object_unref(settings);
    gtk_container_add(GTK_CONTAINER(window), view);

    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    g_unix_signal_add(SIGTERM, on_signal, NULL);
    g_unix_signal_add(SIGINT, on_signal, NULL);

    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), url);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
