// Over 500 lines: one class, the view that behaves as the browser control; its helpers are in files of their own.
// A view of the GTK back end's browser control, in the run-time module
// libraduvove-browser.so (browser_module.h has the line between it and the executable): a
// WebKitWebView placed in the parent window's GtkFixed, behaving towards its host as the
// system's browser control does. The control in the executable (browser_proxy.cpp) owns the
// view and answers its questions for the host.
//
// - The host is asked what the system's control asks it: GetHostInfo before every
//   navigation (no scroll bars: a user style sheet, in place before the document loads),
//   ShowContextMenu (no menu when the host takes it), GetExternal (window.external, whose
//   calls come from the bridge server, bridge_server.cpp, through ServeBridgeRequest).
// - Events: decide-policy gives BeforeNavigate2 and NewWindow3, the create signal (window.open)
//   NewWindow3, load-changed NavigateComplete2 and DocumentComplete (none for a failed load),
//   load-failed NavigateError, window.close WindowClosing, notify::title TitleChange,
//   web-process-terminated EngineProcessEnded. An event handler may destroy the control, and
//   the view with it: nothing touches it afterwards.
// - A refresh raises no navigation events of its own: from Refresh until its load ends, the
//   navigations no user started (the page again, its frames) are let through silently. The
//   engine marks only the page's own reload as one, and not at all after its process died.
//   The load a refresh supersedes still reports its end (cancelled or finished) after the
//   refresh was asked for: only the end of a load started since counts.
// - A refresh always asks the server: while the web process runs the engine reloads past its
//   cache; after the process died the engine would load the page again from its cache, so
//   the last address is requested anew with a request that tells the cache to revalidate.
// - NewWindow3's flags: a request made while a user's action was handled (the engine says
//   so) is user-initiated; it is the first of that action when no other came since the last
//   button or key press the view received.
// - A view made without acceleration never uses compositing: its first paint comes sooner.
#include <webkit2/webkit2.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "fw/gtk/module/module_parts.h"
#include "fw/trace.h"

namespace fw::gtk::browser {

namespace {

namespace wire = bridge;

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

// Shown in place of a page that could not be loaded (the engine's own page would come as a
// load with events of its own).
constexpr const char* kErrorPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title></title></head>"
    "<body style=\"margin:24px;font:14px sans-serif;color:#666;background:#fff\">无法显示此网页。</body></html>";

// The document walk: the first element of the tag whose id equals the value exactly
// (querySelector and getElementById match case-insensitively in quirks mode).
constexpr const char* kWalkBody = R"JS(var list = document.getElementsByTagName(tag);
for (var i = 0; i < list.length; i++) {
  if (list[i].id === id) { var t = list[i].innerText; return typeof t === 'string' ? t : ''; }
}
return null;)JS";

// Addresses as the page wrote them: the engine percent-encodes blanks.
std::string UnescapeBlanks(const std::string& url) {
    std::string out;
    out.reserve(url.size());
    for (std::size_t k = 0; k < url.size(); ++k) {
        if (url.compare(k, 3, "%20") == 0) {
            out.push_back(' ');
            k += 2;
        } else {
            out.push_back(url[k]);
        }
    }
    return out;
}

std::string RequestUri(WebKitNavigationAction* action) {
    WebKitURIRequest* rq = action ? webkit_navigation_action_get_request(action) : nullptr;
    const char* uri = rq ? webkit_uri_request_get_uri(rq) : nullptr;
    return uri ? uri : "";
}

// --- Windows that the page opened ------------------------------------------------------------

class WebkitView;
GtkWidget* OpenPopup(WebKitWebView* related, const std::shared_ptr<char>& rootAlive, WebkitView* root);

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

// Pages play sound without waiting for a click, as the system's browser control lets them: a
// game starts its music as it loads. (The engine's default lets media start only muted.)
WebKitWebsitePolicies* NewWebsitePolicies() {
    return webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
}

// The view's own mute, apart from what a page does with its media: a page that silenced
// itself stays silent when the view gets its sound back.
bool g_viewsMuted = false;

void MuteViewsIn(GtkWidget* w, gpointer) {
    if (WEBKIT_IS_WEB_VIEW(w))
        webkit_web_view_set_is_muted(WEBKIT_WEB_VIEW(w), g_viewsMuted);
    else if (GTK_IS_CONTAINER(w))
        gtk_container_forall(GTK_CONTAINER(w), MuteViewsIn, nullptr);
}

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

// A plain browser window of its own for an address the host let the page open. It belongs
// to the window of the page that opened it: kept above it, hidden and shown with it, and
// closed when it goes.
GtkWidget* OpenPopup(WebKitWebView* related, const std::shared_ptr<char>& rootAlive, WebkitView* root) {
    // Its own content manager: the control's close handler must not hear the pop-up.
    WebKitUserContentManager* ucm = webkit_user_content_manager_new();
    WebKitWebsitePolicies* policies = NewWebsitePolicies();
    GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "user-content-manager",
                                              ucm, "website-policies", policies, nullptr));
    g_object_unref(policies);
    g_object_unref(ucm);
    webkit_web_view_set_is_muted(WEBKIT_WEB_VIEW(view), g_viewsMuted);
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

gboolean UnrefLater(gpointer obj) {
    g_object_unref(obj);
    return G_SOURCE_REMOVE;
}

// --- The view -----------------------------------------------------------------------------

std::unordered_map<guint64, WebkitView*>& Pages() {
    static auto* pages = new std::unordered_map<guint64, WebkitView*>;
    return *pages;
}

class WebkitView final : public View {
public:
    WebkitView(WebKitWebContext* ctx, GtkFixed* fixed, const Rect& rect, bool visible, int id,
               const BrowserOptions& options, ViewHost* host);
    ~WebkitView() override;

    void Navigate(const std::string& url) override;
    void Refresh() override;
    void Stop() override;
    void Quit() override;
    std::string LocationUrl() const override;
    void Move(const Rect& rect) override;
    void Show(bool show) override;
    bool IsVisible() const override;
    void Focus() override;
    void FindElementText(const std::string& tag, const std::string& id,
                         std::function<void(std::optional<std::string>)> done) override;

    // Whether the host lets a window that one of this control's pop-ups asked for open.
    bool HostAllowsNewWindow(const std::string& url, unsigned flags);
    const std::shared_ptr<char>& AliveToken() const { return alive_; }

    // The bridge's questions.
    bool HasExternal(const wire::Request& rq) const;
    void CallExternal(const std::u16string& name, const std::vector<wire::Value>& args, wire::Response& rs);

private:
    using Alive = std::weak_ptr<char>;
    struct Walk {
        Alive alive;
        std::function<void(std::optional<std::string>)> done;
    };

    WebKitWebView* View() const { return WEBKIT_WEB_VIEW(view_); }
    bool Usable() const { return !viewGone_ && !quit_; }
    // The sink while events are delivered: none once the control has quit, nor for the
    // error page that stands in for a failed load.
    BrowserEvents* Sink() const { return quit_ || errorPage_ != ErrorPage::None ? nullptr : host_->Events(); }
    void ApplyHostFlags();
    void Place();
    void AnswerLater(std::function<void(std::optional<std::string>)> done);
    void RequestClose();

    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* d, WebKitPolicyDecisionType type,
                                   WebkitView* self);
    static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, WebkitView* self);
    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, WebkitView* self);
    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, WebkitView* self);
    static void OnClose(WebKitWebView*, WebkitView* self);
    static void OnCloseMessage(WebKitUserContentManager*, WebKitJavascriptResult*, WebkitView* self);
    static void OnTitle(WebKitWebView*, GParamSpec*, WebkitView* self);
    static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                  WebkitView* self);
    static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, WebkitView* self);
    static gboolean OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* rq, WebkitView* self);
    static void OnViewDestroy(GtkWidget*, WebkitView* self);
    static void OnFixedAllocate(GtkWidget*, GdkRectangle* alloc, WebkitView* self);
    static void OnWalkDone(GObject* src, GAsyncResult* res, gpointer data);

    unsigned NewWindowFlags(WebKitNavigationAction* action);
    static gboolean OnInput(GtkWidget*, GdkEvent*, WebkitView* self);
    static void OnProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, WebkitView* self);

    ViewHost* host_;
    std::shared_ptr<char> alive_ = std::make_shared<char>(0);
    GtkWidget* view_ = nullptr;   // one reference held
    GtkWidget* fixed_ = nullptr;  // the parent's container; weak (cleared when it goes)
    WebKitUserContentManager* ucm_ = nullptr;
    WebKitUserStyleSheet* noScrollBars_ = nullptr;  // in ucm_ while the host hides scroll bars
    GCancellable* cancel_ = nullptr;
    guint64 page_ = 0;
    Rect rect_{};
    bool viewGone_ = false;  // the view was destroyed with its parent window
    bool quit_ = false;
    bool loadFailed_ = false;
    // Our error page in place of errorUri_: asked for (the failed load still finishes first),
    // then loading (from its own start to its finish).
    enum class ErrorPage { None, Asked, Loading } errorPage_ = ErrorPage::None;
    std::string errorUri_;
    std::string approvedNewWindow_;  // a NEW_WINDOW_ACTION the host let through; its create follows
    // A refresh: asked for (its load has not started yet), then loading, until its load ends.
    enum class Refreshing { No, Asked, Loading } refreshing_ = Refreshing::No;
    bool processGone_ = false;      // the web process died; no load has started since
    std::string lastUri_;           // the page's address, also once the process died
    unsigned inputSerial_ = 0;      // button and key presses the view received
    unsigned newWindowSerial_ = 0;  // inputSerial_ at the last user-initiated new window
};

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
    webkit_web_view_set_is_muted(View(), g_viewsMuted);
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

gboolean WebkitView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* d, WebKitPolicyDecisionType type,
                                    WebkitView* self) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return FALSE;  // responses: the engine's default
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(d));
    std::string url = RequestUri(action);
    if (self->quit_) {
        // Only the blank page that ended the control may still load.
        if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && url == "about:blank")
            webkit_policy_decision_use(d);
        else
            webkit_policy_decision_ignore(d);
        return TRUE;
    }
    if (self->errorPage_ != ErrorPage::None) {
        if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && url == self->errorUri_) {
            webkit_policy_decision_use(d);  // the error page itself
            return TRUE;
        }
        self->errorPage_ = ErrorPage::None;  // the page moves on
    }
    Alive alive = self->alive_;
    bool cancel = false;
    const bool byUser = webkit_navigation_action_is_user_gesture(action);
    if (byUser) self->refreshing_ = Refreshing::No;  // the user moves on
    const bool refreshing = self->refreshing_ != Refreshing::No;
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
        // Frames cannot be told from the main frame here; the style sheet changes only when
        // the host's answer does, and then before the next document is made.
        self->ApplyHostFlags();
        if (refreshing) {
            webkit_policy_decision_use(d);  // part of the refresh: no event
            return TRUE;
        }
        if (BrowserEvents* sink = self->Sink()) sink->BeforeNavigate2(UnescapeBlanks(url), cancel);
    } else {
        if (refreshing) {
            webkit_policy_decision_ignore(d);  // a reloading page opens no windows by itself
            return TRUE;
        }
        const unsigned flags = self->NewWindowFlags(action);
        if (BrowserEvents* sink = self->Sink())
            sink->NewWindow3(url, flags, cancel);
        else
            cancel = true;  // nobody to ask: no window of the engine's own
        if (!alive.expired() && !cancel) self->approvedNewWindow_ = url;
    }
    if (cancel || alive.expired())
        webkit_policy_decision_ignore(d);
    else
        webkit_policy_decision_use(d);
    return TRUE;
}

GtkWidget* WebkitView::OnCreate(WebKitWebView* view, WebKitNavigationAction* action, WebkitView* self) {
    if (self->quit_) return nullptr;
    std::string url = RequestUri(action);
    bool approved = !self->approvedNewWindow_.empty() && self->approvedNewWindow_ == url;
    self->approvedNewWindow_.clear();
    if (!approved) {  // window.open: no policy decision came before
        if (self->refreshing_ != Refreshing::No && !webkit_navigation_action_is_user_gesture(action)) return nullptr;
        Alive alive = self->alive_;
        bool cancel = false;
        const unsigned flags = self->NewWindowFlags(action);
        if (BrowserEvents* sink = self->Sink())
            sink->NewWindow3(url, flags, cancel);
        else
            cancel = true;
        if (cancel || alive.expired()) return nullptr;
    }
    return OpenPopup(view, self->alive_, self);
}

bool WebkitView::HostAllowsNewWindow(const std::string& url, unsigned flags) {
    if (quit_) return false;
    Alive alive = alive_;
    bool cancel = false;
    if (BrowserEvents* sink = Sink())
        sink->NewWindow3(url, flags, cancel);
    else
        cancel = true;
    return !cancel && !alive.expired();
}

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

unsigned WebkitView::NewWindowFlags(WebKitNavigationAction* action) {
    if (!action || !webkit_navigation_action_is_user_gesture(action)) return 0;
    unsigned flags = NWMF_USERINITED;
    if (inputSerial_ != newWindowSerial_) {
        flags |= NWMF_FIRST;
        newWindowSerial_ = inputSerial_;
    }
    return flags;
}

gboolean WebkitView::OnInput(GtkWidget*, GdkEvent* event, WebkitView* self) {
    // Only the press starts a user's action (a double click's second press is one more).
    if (event->type == GDK_BUTTON_PRESS || event->type == GDK_KEY_PRESS) ++self->inputSerial_;
    return FALSE;  // the page gets it as usual
}

void WebkitView::OnProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, WebkitView* self) {
    self->processGone_ = true;
    self->refreshing_ = Refreshing::No;
    self->errorPage_ = ErrorPage::None;                          // whatever was shown went with the process
    if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;  // asked for: nothing to tell
    BrowserEvents* sink = self->Sink();
    if (!sink) return;
    sink->EngineProcessEnded(reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? EngineExit::OutOfMemory
                                                                                : EngineExit::Crashed);
}

void WebkitView::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, WebkitView* self) {
    if (TraceEnabled()) {
        static const char* const kNames[] = {"started", "redirected", "committed", "finished"};
        char mark[64];
        std::snprintf(mark, sizeof mark, "page %llu load %s", static_cast<unsigned long long>(self->page_),
                      kNames[event & 3]);
        TraceMark(mark);
    }
    if (event == WEBKIT_LOAD_STARTED) {
        self->loadFailed_ = false;
        self->processGone_ = false;  // a load runs in a process again
        if (self->refreshing_ == Refreshing::Asked) self->refreshing_ = Refreshing::Loading;
        if (self->errorPage_ == ErrorPage::Asked) self->errorPage_ = ErrorPage::Loading;
        return;
    }
    if (event == WEBKIT_LOAD_COMMITTED && self->errorPage_ == ErrorPage::None) {
        const char* uri = webkit_web_view_get_uri(view);
        if (uri && *uri) self->lastUri_ = uri;
    }
    if (event == WEBKIT_LOAD_FINISHED && self->refreshing_ == Refreshing::Loading) self->refreshing_ = Refreshing::No;
    if (self->errorPage_ != ErrorPage::None) {
        if (event == WEBKIT_LOAD_FINISHED && self->errorPage_ == ErrorPage::Loading) self->errorPage_ = ErrorPage::None;
        return;
    }
    BrowserEvents* sink = self->Sink();
    if (!sink) return;
    const char* uri = webkit_web_view_get_uri(view);
    std::string url = uri ? uri : "";
    if (event == WEBKIT_LOAD_COMMITTED)
        sink->NavigateComplete2(url);
    else if (event == WEBKIT_LOAD_FINISHED && !self->loadFailed_)
        sink->DocumentComplete(url);
}

gboolean WebkitView::OnLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* uri, GError* error, WebkitView* self) {
    self->loadFailed_ = true;
    if (self->refreshing_ == Refreshing::Loading) self->refreshing_ = Refreshing::No;
    if (self->errorPage_ == ErrorPage::Loading) {  // the error page itself failed: give up on it
        self->errorPage_ = ErrorPage::None;
        return TRUE;
    }
    // A stopped or superseded load, or one the host cancelled, shows nothing.
    if (self->quit_ || g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
        return TRUE;
    const std::string failed = uri ? uri : "";
    if (BrowserEvents* sink = self->Sink()) {
        Alive alive = self->alive_;
        sink->NavigateError(failed);
        if (alive.expired() || self->quit_) return TRUE;  // the control went, or quit
    }
    self->errorPage_ = ErrorPage::Asked;
    self->errorUri_ = failed;
    webkit_web_view_load_alternate_html(view, kErrorPage, failed.c_str(), nullptr);
    return TRUE;
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

gboolean WebkitView::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                   WebkitView* self) {
    return self->host_->HostTakesContextMenu() ? TRUE : FALSE;
}

gboolean WebkitView::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, WebkitView* self) {
    if (!self->host_->Silent()) return FALSE;  // the engine's own dialog
    // Silent: no dialog; the answer is the one a dismissed dialog gives, except that leaving
    // the page is never held up.
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM: webkit_script_dialog_confirm_set_confirmed(dialog, FALSE); break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM: webkit_script_dialog_confirm_set_confirmed(dialog, TRUE); break;
    default: break;  // alert: nothing; prompt: null
    }
    return TRUE;
}

gboolean WebkitView::OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* rq, WebkitView* self) {
    if (!self->host_->Silent()) return FALSE;
    webkit_authentication_request_cancel(rq);
    return TRUE;
}

void WebkitView::OnViewDestroy(GtkWidget*, WebkitView* self) {
    self->viewGone_ = true;
    Pages().erase(self->page_);
}

}  // namespace

void MuteAllViews(bool muted) {
    g_viewsMuted = muted;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next) MuteViewsIn(GTK_WIDGET(l->data), nullptr);
    g_list_free(tops);
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
