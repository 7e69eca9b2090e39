/* rv-page-probe: shows one page in a WebKitGTK view and reads an answer out of it with script,
 * so that the portal's tests run the pages' script in the engine the client uses.
 *
 *   rv-page-probe [--size=WxH] [--budget-ms=N] [--until=EXPR [--settle-ms=N] --print=EXPR] URL
 *
 * EXPR is page script. --until is evaluated every 50 ms once the page has loaded (a throw
 * counts as false); once it is true the probe waits --settle-ms more (for calls that should not
 * come), prints the string value of --print on standard output and ends with status 0. When the
 * budget (default 10000 ms) runs out first it prints --print all the same and ends with status
 * 3, so that the caller sees how far the page got. Without --until it shows the page until the
 * budget runs out or SIGTERM. A page that cannot be loaded ends it with status 4.
 *
 * The web context is ephemeral: nothing is written to disk. The view is not accelerated, as the
 * client's views are on a machine without a GPU.
 */
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <webkit2/webkit2.h>

typedef struct {
    WebKitWebView* view;
    const char* until;
    const char* print;
    int settle_ms;
    gboolean loaded;
    gboolean asking; /* an evaluation is out */
    gboolean finishing;
    int status;
} Probe;

static int usage(void) {
    fputs("usage: rv-page-probe [--size=WxH] [--budget-ms=N] [--until=EXPR [--settle-ms=N] --print=EXPR] URL\n",
          stderr);
    return 2;
}

/* The non-negative decimal number of text (at most 600000), or -1. */
static int parse_ms(const char* text) {
    char* end = NULL;
    long n = strtol(text, &end, 10);
    if (!*text || *end || n < 0 || n > 600000) return -1;
    return (int)n;
}

static void on_printed(GObject* view, GAsyncResult* result, gpointer data) {
    Probe* p = data;
    GError* error = NULL;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
    if (value) {
        char* text = jsc_value_to_string(value);
        printf("%s\n", text);
        fflush(stdout);
        g_free(text);
        g_object_unref(value);
    } else {
        fprintf(stderr, "rv-page-probe: --print failed: %s\n", error->message);
        g_error_free(error);
        if (p->status == 0) p->status = 1;
    }
    gtk_main_quit();
}

static void finish(Probe* p, int status) {
    if (p->finishing) return;
    p->finishing = TRUE;
    p->status = status;
    if (!p->print) {
        gtk_main_quit();
        return;
    }
    webkit_web_view_evaluate_javascript(p->view, p->print, -1, NULL, NULL, NULL, on_printed, p);
}

static gboolean on_settled(gpointer data) {
    finish(data, 0);
    return G_SOURCE_REMOVE;
}

static void on_until(GObject* view, GAsyncResult* result, gpointer data) {
    Probe* p = data;
    p->asking = FALSE;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, NULL);
    gboolean met = value && jsc_value_to_boolean(value);
    if (value) g_object_unref(value);
    if (met && !p->finishing) {
        p->until = NULL; /* asked no more */
        g_timeout_add(p->settle_ms, on_settled, p);
    }
}

static gboolean on_poll(gpointer data) {
    Probe* p = data;
    if (!p->until || p->finishing) return G_SOURCE_REMOVE;
    if (p->loaded && !p->asking) {
        char* script =
            g_strdup_printf("(function () { try { return !!(%s); } catch (e) { return false; } })()", p->until);
        p->asking = TRUE;
        webkit_web_view_evaluate_javascript(p->view, script, -1, NULL, NULL, NULL, on_until, p);
        g_free(script);
    }
    return G_SOURCE_CONTINUE;
}

static gboolean on_budget(gpointer data) {
    Probe* p = data;
    fputs("rv-page-probe: the budget ran out\n", stderr);
    finish(p, p->until ? 3 : 0);
    return G_SOURCE_REMOVE;
}

static gboolean on_signal(gpointer data) {
    finish(data, 0);
    return G_SOURCE_REMOVE;
}

static void on_load_changed(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    (void)view;
    if (event == WEBKIT_LOAD_FINISHED) ((Probe*)data)->loaded = TRUE;
}

static gboolean on_load_failed(WebKitWebView* view, WebKitLoadEvent event, char* uri, GError* error, gpointer data) {
    (void)view;
    (void)event;
    Probe* p = data;
    fprintf(stderr, "rv-page-probe: cannot load %s: %s\n", uri, error->message);
    p->print = NULL;
    finish(p, 4);
    return TRUE;
}

int main(int argc, char** argv) {
    Probe probe = {0};
    int width = 800, height = 600, budget_ms = 10000;
    const char* url = NULL;

    gtk_init(&argc, &argv);
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (strncmp(a, "--size=", 7) == 0) {
            char tail = 0;
            if (sscanf(a + 7, "%dx%d%c", &width, &height, &tail) != 2 || width < 1 || height < 1 || width > 8192 ||
                height > 8192)
                return usage();
        } else if (strncmp(a, "--budget-ms=", 12) == 0) {
            if ((budget_ms = parse_ms(a + 12)) < 0) return usage();
        } else if (strncmp(a, "--settle-ms=", 12) == 0) {
            if ((probe.settle_ms = parse_ms(a + 12)) < 0) return usage();
        } else if (strncmp(a, "--until=", 8) == 0 && a[8]) {
            probe.until = a + 8;
        } else if (strncmp(a, "--print=", 8) == 0 && a[8]) {
            probe.print = a + 8;
        } else if (a[0] == '-' || url) {
            return usage();
        } else {
            url = a;
        }
    }
    if (!url || (probe.until && !probe.print)) return usage();

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "rv-page-probe");
    gtk_window_set_default_size(GTK_WINDOW(window), width, height);

    WebKitWebContext* context = webkit_web_context_new_ephemeral();
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    probe.view =
        WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings, NULL));
    g_object_unref(settings);
    g_object_unref(context);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(probe.view));

    g_signal_connect(probe.view, "load-changed", G_CALLBACK(on_load_changed), &probe);
    g_signal_connect(probe.view, "load-failed", G_CALLBACK(on_load_failed), &probe);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    g_unix_signal_add(SIGTERM, on_signal, &probe);
    g_unix_signal_add(SIGINT, on_signal, &probe);
    g_timeout_add(budget_ms, on_budget, &probe);
    if (probe.until) g_timeout_add(50, on_poll, &probe);

    webkit_web_view_load_uri(probe.view, url);
    gtk_widget_show_all(window);
    gtk_main();
    return probe.status;
}
