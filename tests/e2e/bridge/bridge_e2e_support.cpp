// The helpers that the scenarios of bridge_e2e share (bridge_e2e.h).
#include <gtk/gtk.h>

#include <cstdio>

#include "bridge_e2e.h"
#include "fw/gtk/gtk_native.h"

namespace bridge_e2e {

const Clock::time_point g_start = Clock::now();
std::vector<std::string> g_log;

double MsSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

namespace {

gboolean Tick(gpointer) { return G_SOURCE_CONTINUE; }

}  // namespace

// Runs the main loop until `done` holds or the time is up.
bool WaitFor(const std::function<bool()>& done, int ms) {
    guint tick = g_timeout_add(10, Tick, nullptr);
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    bool ok = true;
    while (!done()) {
        if (Clock::now() > end) {
            ok = false;
            break;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(tick);
    return ok;
}

void Settle(int ms) {
    WaitFor([] { return false; }, ms);
}

void Trace(const char* what, const std::string& arg) {
    static const bool on = g_getenv("BW_TRACE") != nullptr;
    if (on) std::printf("  event %s %s\n", what, arg.c_str());
}

WebKitWebView* ViewIn(fw::Window& w) {
    GtkFixed* fixed = fw::gtk::ContainerOf(w.native());
    WebKitWebView* found = nullptr;
    GList* kids = gtk_container_get_children(GTK_CONTAINER(fixed));
    for (GList* k = kids; k; k = k->next)
        if (WEBKIT_IS_WEB_VIEW(k->data)) found = WEBKIT_WEB_VIEW(k->data);
    g_list_free(kids);
    return found;
}

std::string EvalJs(WebKitWebView* view, const std::string& script) {
    struct State {
        bool done = false;
        std::string text;
    } st;
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* src, GAsyncResult* res, gpointer data) {
            auto* s = static_cast<State*>(data);
            GError* err = nullptr;
            JSCValue* v = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(src), res, &err);
            if (v) {
                gchar* t = jsc_value_to_string(v);
                s->text = t ? t : "";
                g_free(t);
                g_object_unref(v);
            } else {
                s->text = std::string("error:") + (err ? err->message : "?");
            }
            if (err) g_error_free(err);
            s->done = true;
        },
        &st);
    if (!WaitFor([&] { return st.done; }, 10000)) return "timeout";
    return st.text;
}

std::optional<std::string> Find(fw::BrowserControl& b, const std::string& tag, const std::string& id, bool* answered) {
    std::optional<std::string> out;
    bool done = false;
    b.FindElementText(tag, id, [&](std::optional<std::string> t) {
        out = std::move(t);
        done = true;
    });
    *answered = WaitFor([&] { return done; }, 10000);
    return out;
}

int PopupViews() {
    int n = 0;
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next) {
        GtkWidget* child = GTK_IS_BIN(t->data) ? gtk_bin_get_child(GTK_BIN(t->data)) : nullptr;
        if (child && WEBKIT_IS_WEB_VIEW(child)) ++n;
    }
    g_list_free(tops);
    return n;
}

void DestroyPopups() {
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next) {
        GtkWidget* child = GTK_IS_BIN(t->data) ? gtk_bin_get_child(GTK_BIN(t->data)) : nullptr;
        if (child && WEBKIT_IS_WEB_VIEW(child)) gtk_widget_destroy(GTK_WIDGET(t->data));
    }
    g_list_free(tops);
}

bool MenuShown() {
    bool shown = false;
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next) {
        GtkWidget* child = GTK_IS_BIN(t->data) ? gtk_bin_get_child(GTK_BIN(t->data)) : nullptr;
        if (child && GTK_IS_MENU(child) && gtk_widget_get_mapped(GTK_WIDGET(t->data))) shown = true;
    }
    g_list_free(tops);
    return shown;
}

bool HaveXdotool() { return g_find_program_in_path("xdotool") != nullptr; }

void Xdotool(const std::string& args) {
    std::string cmd = "xdotool " + args;
    g_spawn_command_line_sync(cmd.c_str(), nullptr, nullptr, nullptr, nullptr);
}

Hosted::Hosted(bool withExternal, DWORD flags, bool takeMenu, bool visible, const fw::BrowserOptions& options) {
    fw::CreateParams p;
    p.caption = "bridge-e2e";
    p.style = fw::kPopup | (visible ? fw::kVisible : 0u);
    p.rect = fw::Rect::FromXYWH(100, 100, 800, 600);
    win.Create(p);
    browser = fw::BrowserControl::Create(win, 174, fw::Rect::FromXYWH(0, 0, 800, 600), options);
    host = new FakeHost(withExternal, flags, takeMenu);
    if (browser) {
        browser->SetEvents(&ev);
        browser->SetSilent(true);
        Attach(*browser, host);
    }
}

Hosted::~Hosted() {
    browser.reset();
    if (host) host->Release();
    win.Destroy();
    Settle(50);
}

bool Hosted::Load(const std::string& url, int ms) {
    std::size_t before = ev.completed.size();
    browser->Navigate(url);
    return WaitFor([&] { return ev.completed.size() > before; }, ms);
}

bool Hosted::WaitTitle(const std::string& prefix, int ms) {
    return WaitFor([&] { return ev.Title().rfind(prefix, 0) == 0; }, ms);
}

}  // namespace bridge_e2e
