// A view of the GTK back end's browser control, in the run-time module
// libraduvove-browser.so (browser_module.h has the line between it and the executable): its
// making and ending, its place in the parent window, the navigation calls, the document walk,
// window.external, window.close and the title. The control in the executable
// (browser_proxy.cpp) owns the view and answers its questions for the host; the view's other
// concerns are in the files webkit_view.h lists.
//
// - The host is asked what the system's control asks it: GetHostInfo before every
//   navigation (no scroll bars: a user style sheet, in place before the document loads),
//   ShowContextMenu (no menu when the host takes it), GetExternal (window.external, whose
//   calls come from the bridge server, bridge_server.cpp, through ServeBridgeRequest).
// - Events: window.close WindowClosing, notify::title TitleChange. An event handler may
//   destroy the control, and the view with it: nothing touches it afterwards.
// - A refresh always asks the server: while the web process runs the engine reloads past its
//   cache; after the process died the engine would load the page again from its cache, so
//   the last address is requested anew with a request that tells the cache to revalidate.
// - A view made without acceleration never uses compositing: its first paint comes sooner.
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "fw/gtk/module/webkit_view.h"
#include "fw/trace.h"

namespace fw::gtk::browser {

namespace {

constexpr const char* kCloseHandler = "rvWindowClose";
constexpr const char* kWalkWorld = "rv-document-walk";

// Scroll bars hidden in every frame while scrolling keeps working.
constexpr const char* kNoScrollBarsCss = "::-webkit-scrollbar{display:none} html{scrollbar-width:none}";

// window.close() of the top document goes to the control as a request (the engine's own
// close signal stops firing once the view has more than one history entry).
constexpr const char* kCloseScript = R"JS((function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var h = handlers && handlers.rvWindowClose;
  if (!h) return;
  var post = h.postMessage.bind(h);
  Object.defineProperty(window, 'close', {
    value: function close() { post(''); }, writable: true, configurable: true, enumerable: true
  });
})();)JS";

// The document walk: the first element of the tag whose id equals the value exactly
// (querySelector and getElementById match case-insensitively in quirks mode).
constexpr const char* kWalkBody = R"JS(var list = document.getElementsByTagName(tag);
for (var i = 0; i < list.length; i++) {
  if (list[i].id === id) { var t = list[i].innerText; return typeof t === 'string' ? t : ''; }
}
return null;)JS";

gboolean UnrefLater(gpointer obj) {
    g_object_unref(obj);
    return G_SOURCE_REMOVE;
}

// The views by their page's id, for the bridge's requests.
std::unordered_map<guint64, WebkitView*>& Pages() {
    static auto* pages = new std::unordered_map<guint64, WebkitView*>;
    return *pages;
}

}  // namespace

std::string RequestUri(WebKitNavigationAction* action) {
    WebKitURIRequest* rq = action ? webkit_navigation_action_get_request(action) : nullptr;
    const char* uri = rq ? webkit_uri_request_get_uri(rq) : nullptr;
    return uri ? uri : "";
}

WebkitView::WebkitView(WebKitWebContext* ctx, GtkFixed* fixed, const Rect& rect, bool visible, int id,
                       const BrowserOptions& options, ViewHost* host)
    : host_(host), rect_(rect) {
    ucm_ = webkit_user_content_manager_new();
    if (webkit_user_content_manager_register_script_message_handler(ucm_, kCloseHandler)) {
        WebKitUserScript* s = webkit_user_script_new(kCloseScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                     WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(ucm_, s);
        webkit_user_script_unref(s);
        std::string signal = std::string("script-message-received::") + kCloseHandler;
        g_signal_connect(ucm_, signal.c_str(), G_CALLBACK(OnCloseMessage), this);
    }
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    if (!options.accelerated)
        webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    WebKitWebsitePolicies* policies = NewWebsitePolicies();
    view_ = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", ctx, "user-content-manager", ucm_, "settings",
                                    settings, "website-policies", policies, nullptr));
    g_object_unref(policies);
    g_object_unref(settings);
    g_object_ref_sink(view_);
    webkit_web_view_set_is_muted(View(), ViewsMuted());
    TraceMark("view made");
    page_ = webkit_web_view_get_page_id(View());
    Pages()[page_] = this;
    cancel_ = g_cancellable_new();

    char name[32];
    std::snprintf(name, sizeof name, "browser-%d", id);
    gtk_widget_set_name(view_, name);

    g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this);
    g_signal_connect(view_, "load-failed-with-tls-errors", G_CALLBACK(OnTlsErrors), this);
    g_signal_connect(view_, "close", G_CALLBACK(OnClose), this);
    g_signal_connect(view_, "notify::title", G_CALLBACK(OnTitle), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this);
    g_signal_connect(view_, "script-dialog", G_CALLBACK(OnScriptDialog), this);
    g_signal_connect(view_, "authenticate", G_CALLBACK(OnAuthenticate), this);
    g_signal_connect(view_, "destroy", G_CALLBACK(OnViewDestroy), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnProcessTerminated), this);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(OnInput), this);
    g_signal_connect(view_, "key-press-event", G_CALLBACK(OnInput), this);

    // The view gets its rectangle from us after the container has placed it, so that its
    // size never becomes a minimum size of the parent window (a GtkFixed would pass it on).
    fixed_ = GTK_WIDGET(fixed);
    g_object_add_weak_pointer(G_OBJECT(fixed_), reinterpret_cast<gpointer*>(&fixed_));
    g_signal_connect_after(fixed_, "size-allocate", G_CALLBACK(OnFixedAllocate), this);
    gtk_fixed_put(fixed, view_, rect.left, rect.top);
    if (visible) gtk_widget_show(view_);
    ApplyHostFlags();
}

WebkitView::~WebkitView() {
    alive_.reset();
    g_cancellable_cancel(cancel_);
    g_object_unref(cancel_);
    Pages().erase(page_);
    if (fixed_) {
        g_signal_handlers_disconnect_by_data(fixed_, this);
        g_object_remove_weak_pointer(G_OBJECT(fixed_), reinterpret_cast<gpointer*>(&fixed_));
    }
    g_signal_handlers_disconnect_by_data(ucm_, this);
    g_signal_handlers_disconnect_by_data(view_, this);
    webkit_user_content_manager_unregister_script_message_handler(ucm_, kCloseHandler);
    if (noScrollBars_) webkit_user_style_sheet_unref(noScrollBars_);
    if (!viewGone_) gtk_widget_destroy(view_);  // out of the parent window; the page closes
    // The last reference goes once any signal emission of the view on the stack has unwound.
    g_idle_add(UnrefLater, view_);
    g_object_unref(ucm_);
}

void WebkitView::ApplyHostFlags() {
    if (viewGone_) return;
    bool hide = (host_->HostFlags() & DOCHOSTUIFLAG_SCROLL_NO) != 0;
    if (hide == (noScrollBars_ != nullptr)) return;
    if (hide) {
        noScrollBars_ = webkit_user_style_sheet_new(kNoScrollBarsCss, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                    WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(ucm_, noScrollBars_);
    } else {
        webkit_user_content_manager_remove_style_sheet(ucm_, noScrollBars_);
        webkit_user_style_sheet_unref(noScrollBars_);
        noScrollBars_ = nullptr;
    }
}

void WebkitView::Navigate(const std::string& url) {
    if (!Usable()) return;
    errorPage_ = ErrorPage::None;
    refreshing_ = Refreshing::No;
    ApplyHostFlags();
    lastUri_ = url.empty() ? "about:blank" : url;
    TraceMark("navigate");
    webkit_web_view_load_uri(View(), lastUri_.c_str());
}

void WebkitView::Refresh() {
    if (!Usable()) return;
    errorPage_ = ErrorPage::None;
    ApplyHostFlags();
    if (!processGone_) {
        refreshing_ = Refreshing::Asked;
        webkit_web_view_reload_bypass_cache(View());
        return;
    }
    if (lastUri_.empty()) return;  // no page was ever asked for
    WebKitURIRequest* rq = webkit_uri_request_new(lastUri_.c_str());
    if (SoupMessageHeaders* h = webkit_uri_request_get_http_headers(rq)) {
        soup_message_headers_replace(h, "Cache-Control", "no-cache");
        soup_message_headers_replace(h, "Pragma", "no-cache");
    }
    refreshing_ = Refreshing::Asked;
    webkit_web_view_load_request(View(), rq);
    g_object_unref(rq);
}

void WebkitView::Stop() {
    if (!Usable()) return;
    refreshing_ = Refreshing::No;
    webkit_web_view_stop_loading(View());
}

void WebkitView::Quit() {
    if (quit_) return;
    quit_ = true;  // from here on no events and no window.external
    refreshing_ = Refreshing::No;
    lastUri_ = "about:blank";
    if (!viewGone_) {
        webkit_web_view_stop_loading(View());
        webkit_web_view_load_uri(View(), "about:blank");
    }
}

std::string WebkitView::LocationUrl() const {
    // A view whose process died has forgotten its address; the control has not.
    const char* uri = viewGone_ || processGone_ ? nullptr : webkit_web_view_get_uri(View());
    return uri && *uri ? uri : lastUri_;
}

void WebkitView::Place() {
    if (viewGone_ || !fixed_) return;
    GtkAllocation a;
    gtk_widget_get_allocation(fixed_, &a);
    GtkAllocation mine{a.x + rect_.left, a.y + rect_.top, std::max(1, rect_.Width()), std::max(1, rect_.Height())};
    gtk_widget_size_allocate(view_, &mine);
}

void WebkitView::OnFixedAllocate(GtkWidget*, GdkRectangle*, WebkitView* self) {
    if (gtk_widget_get_visible(self->view_)) self->Place();
}

void WebkitView::Move(const Rect& rect) {
    if (viewGone_ || !fixed_) return;
    rect_ = rect;
    gtk_fixed_move(GTK_FIXED(fixed_), view_, rect.left, rect.top);
    gtk_widget_queue_resize(view_);  // the container allocates again, and so do we
}

void WebkitView::Show(bool show) {
    if (viewGone_) return;
    if (show)
        gtk_widget_show(view_);
    else
        gtk_widget_hide(view_);
}

bool WebkitView::IsVisible() const { return !viewGone_ && gtk_widget_get_visible(view_); }

void WebkitView::Focus() {
    if (!viewGone_) gtk_widget_grab_focus(view_);
}

void WebkitView::AnswerLater(std::function<void(std::optional<std::string>)> done) {
    auto* w = new Walk{alive_, std::move(done)};
    g_idle_add(
        [](gpointer data) -> gboolean {
            std::unique_ptr<Walk> walk(static_cast<Walk*>(data));
            if (!walk->alive.expired()) walk->done(std::nullopt);
            return G_SOURCE_REMOVE;
        },
        w);
}

void WebkitView::FindElementText(const std::string& tag, const std::string& id,
                                 std::function<void(std::optional<std::string>)> done) {
    if (!done) return;
    if (!Usable()) {
        AnswerLater(std::move(done));
        return;
    }
    GVariantDict dict;
    g_variant_dict_init(&dict, nullptr);
    g_variant_dict_insert(&dict, "tag", "s", tag.c_str());
    g_variant_dict_insert(&dict, "id", "s", id.c_str());
    GVariant* args = g_variant_dict_end(&dict);
    // An isolated world: the page's own script cannot change what the walk sees of the DOM API.
    webkit_web_view_call_async_javascript_function(View(), kWalkBody, -1, args, kWalkWorld, nullptr, cancel_,
                                                   OnWalkDone, new Walk{alive_, std::move(done)});
}

void WebkitView::OnWalkDone(GObject* src, GAsyncResult* res, gpointer data) {
    std::unique_ptr<Walk> walk(static_cast<Walk*>(data));
    GError* error = nullptr;
    JSCValue* v = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(src), res, &error);
    std::optional<std::string> text;
    if (v && jsc_value_is_string(v)) {
        gchar* s = jsc_value_to_string(v);
        text = s ? s : "";
        g_free(s);
    }
    if (v) g_object_unref(v);
    if (error) g_error_free(error);
    if (!walk->alive.expired()) walk->done(std::move(text));
}

bool WebkitView::HasExternal(const wire::Request& rq) const { return !quit_ && host_->HasExternal(rq); }

void WebkitView::CallExternal(const std::u16string& name, const std::vector<wire::Value>& args, wire::Response& rs) {
    rs.status = wire::Status::NoExternal;
    if (quit_) return;
    host_->CallExternal(name, args, rs);  // `this` may be gone afterwards
}

void WebkitView::RequestClose() {
    BrowserEvents* sink = Sink();
    if (!sink) return;
    bool cancel = false;
    sink->WindowClosing(cancel);  // the owner decides what closing means
}

void WebkitView::OnClose(WebKitWebView*, WebkitView* self) { self->RequestClose(); }

void WebkitView::OnCloseMessage(WebKitUserContentManager*, WebKitJavascriptResult*, WebkitView* self) {
    self->RequestClose();
}

void WebkitView::OnTitle(WebKitWebView* view, GParamSpec*, WebkitView* self) {
    BrowserEvents* sink = self->Sink();
    if (!sink) return;
    const char* t = webkit_web_view_get_title(view);
    sink->TitleChange(t ? t : "");
}

void WebkitView::OnViewDestroy(GtkWidget*, WebkitView* self) {
    self->viewGone_ = true;
    Pages().erase(self->page_);
}

View* NewWebkitView(WebKitWebContext* ctx, GtkFixed* fixed, const Rect& rect, bool visible, int id,
                    const BrowserOptions& options, ViewHost* host) {
    return new WebkitView(ctx, fixed, rect, visible, id, options, host);
}

wire::Response ServeBridgeRequest(const wire::Request& rq) {
    wire::Response rs;
    rs.seq = rq.seq;
    rs.status = wire::Status::NoExternal;
    auto it = Pages().find(rq.page);
    if (it == Pages().end()) return rs;  // a page of no control (a pop-up) or one that went
    if (rq.kind == wire::Kind::Query)
        rs.status = it->second->HasExternal(rq) ? wire::Status::Ok : wire::Status::NoExternal;
    else
        it->second->CallExternal(rq.name, rq.args, rs);
    return rs;
}

}  // namespace fw::gtk::browser
