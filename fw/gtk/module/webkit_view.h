#pragma once
// A view of the GTK back end's browser control (the class and what its files share): a
// WebKitWebView placed in the parent window's GtkFixed, behaving towards its host as the
// system's browser control does. Its pieces are in files of their own:
//   webkit_view.cpp         making and ending the view, its place, navigation calls, the
//                           document walk, window.external, window.close and the title
//   webkit_view_policy.cpp  navigation policy: BeforeNavigate2, NewWindow3 and the create signal
//   webkit_view_load.cpp    load events, the error page, the end of the web process
//   webkit_view_dialogs.cpp script dialogs, authentication and the context menu
//   webkit_popup.cpp        plain browser windows of the pages' own (pop-ups)
//   webkit_media.cpp        sound: the autoplay policy and the views' mute
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fw/gtk/module/module_parts.h"

namespace fw::gtk::browser {

namespace wire = bridge;

// The address a navigation action asks for ("" when none).
std::string RequestUri(WebKitNavigationAction* action);

// --- webkit_media.cpp
// Website policies that let pages play sound without waiting for a click.
WebKitWebsitePolicies* NewWebsitePolicies();
// Whether views are silenced now (MuteAllViews); a new view follows it.
bool ViewsMuted();

// --- webkit_popup.cpp
class WebkitView;
// A plain browser window of its own for a page's new window that the host let through,
// related to `related`; answers its view (the create signal's answer). `rootAlive` and
// `root`: the control that opened the chain, asked for the windows the pop-up opens.
GtkWidget* OpenPopup(WebKitWebView* related, const std::shared_ptr<char>& rootAlive, WebkitView* root);

// --- the view
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
    static gboolean OnTlsErrors(WebKitWebView*, gchar* uri, GTlsCertificate*, GTlsCertificateFlags errors,
                                WebkitView* self);
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
    // The certificate's problems of the load that failed on them (load-failed follows).
    std::string tlsUri_;
    GTlsCertificateFlags tlsErrors_ = GTlsCertificateFlags(0);
    std::string approvedNewWindow_;  // a NEW_WINDOW_ACTION the host let through; its create follows
    // A refresh: asked for (its load has not started yet), then loading, until its load ends.
    enum class Refreshing { No, Asked, Loading } refreshing_ = Refreshing::No;
    bool processGone_ = false;      // the web process died; no load has started since
    std::string lastUri_;           // the page's address, also once the process died
    unsigned inputSerial_ = 0;      // button and key presses the view received
    unsigned newWindowSerial_ = 0;  // inputSerial_ at the last user-initiated new window
};

}  // namespace fw::gtk::browser
