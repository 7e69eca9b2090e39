// The browser module's entry point and the one web context that every view shares, made when
// the module is first asked for it: a persistent website data manager, cookies in an SQLite
// file that survives restarts, the client's web-process extension and the path of the bridge
// socket handed to it (bridge_server.cpp). Clearing website data works on this context.
#include <glib/gstdio.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "fw/gtk/module/module_parts.h"
#include "fw/trace.h"

namespace fw::gtk::browser {

std::string JoinPath(const char* base, const char* leaf) {
    gchar* p = g_build_filename(base, leaf, nullptr);
    std::string s(p);
    g_free(p);
    return s;
}

void Report(const char* what) { std::fprintf(stderr, "raduvove: %s\n", what); }

namespace {

class WebkitModule final : public Module {
public:
    explicit WebkitModule(const Paths& paths) : paths_(paths) {}

    void Prewarm() override { Context(); }

    View* CreateView(GtkFixed* fixed, const Rect& rect, bool visible, int id, const BrowserOptions& options,
                     ViewHost* host) override {
        if (!fixed || !host) return nullptr;
        return NewWebkitView(Context(), fixed, rect, visible, id, options, host);
    }

    void ClearWebsiteDataExceptCookies(std::function<void()> done) override;
    void MuteAll(bool muted) override { MuteAllViews(muted); }

private:
    WebKitWebContext* Context();

    Paths paths_;
    WebKitWebContext* ctx_ = nullptr;
};

WebKitWebContext* WebkitModule::Context() {
    if (ctx_) return ctx_;
    const std::string& cache = paths_.cacheDir;
    const std::string& data = paths_.dataDir;
    g_mkdir_with_parents(cache.c_str(), 0700);
    g_mkdir_with_parents(data.c_str(), 0700);
    WebKitWebsiteDataManager* dm = webkit_website_data_manager_new("base-cache-directory", cache.c_str(),
                                                                   "base-data-directory", data.c_str(), nullptr);
    ctx_ = webkit_web_context_new_with_website_data_manager(dm);
    g_object_unref(dm);

    // Also starts the network process, which the first page needs anyway.
    WebKitCookieManager* cookies = webkit_web_context_get_cookie_manager(ctx_);
    std::string jar = JoinPath(data.c_str(), "cookies.sqlite");
    webkit_cookie_manager_set_persistent_storage(cookies, jar.c_str(), WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS);

    const std::string& extensions = paths_.extensionDir;
    if (!g_file_test(extensions.c_str(), G_FILE_TEST_IS_DIR))
        Report("the web-process extension folder is missing: pages get no window.external");
    webkit_web_context_set_web_extensions_directory(ctx_, extensions.c_str());
    if (const BridgeSocket* bridge = StartBridgeServer()) {
        webkit_web_context_set_web_extensions_initialization_user_data(ctx_,
                                                                       g_variant_new("(s)", bridge->path.c_str()));
        // The sandbox may also be forced on from the environment (WEBKIT_FORCE_SANDBOX) without
        // the context knowing: the folder is always made visible inside it.
        webkit_web_context_add_path_to_sandbox(ctx_, bridge->dir.c_str(), FALSE);
    } else {
        Report("cannot listen for the script bridge: pages get no window.external");
    }
    TraceMark("context ready");
    return ctx_;
}

struct ClearJob {
    std::function<void()> done;
};

void WebkitModule::ClearWebsiteDataExceptCookies(std::function<void()> done) {
    auto* job = new ClearJob{std::move(done)};
    WebKitWebsiteDataManager* dm = webkit_web_context_get_website_data_manager(Context());
    auto types = static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_ALL & ~WEBKIT_WEBSITE_DATA_COOKIES);
    webkit_website_data_manager_clear(
        dm, types, 0, nullptr,
        [](GObject* src, GAsyncResult* res, gpointer data) {
            webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(src), res, nullptr);
            std::unique_ptr<ClearJob> j(static_cast<ClearJob*>(data));
            if (j->done) j->done();
        },
        job);
}

}  // namespace

}  // namespace fw::gtk::browser

extern "C" __attribute__((visibility("default"))) fw::gtk::browser::Module* rv_browser_module(
    int version, const fw::gtk::browser::Paths* paths) {
    if (version != fw::gtk::browser::kModuleVersion || !paths) return nullptr;
    static auto* module = new fw::gtk::browser::WebkitModule(*paths);  // for the life of the process
    return module;
}
