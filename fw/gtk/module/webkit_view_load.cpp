// The view's load events: load-changed gives NavigateComplete2 and DocumentComplete (none for
// a failed load), load-failed NavigateError and the client's error page in place of the page
// that could not be loaded, web-process-terminated EngineProcessEnded. The load a refresh
// supersedes still reports its end (cancelled or finished) after the refresh was asked for:
// only the end of a load started since counts.
#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

#include "fw/gtk/module/webkit_view.h"
#include "fw/trace.h"

namespace fw::gtk::browser {

namespace {

// Shown in place of a page that could not be loaded (the engine's own page would come as a
// load with events of its own): the same first line whatever happened, and the reason below.
std::string ErrorPageHtml(const std::string& reason) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title></title></head>"
           "<body style=\"margin:24px;font:14px sans-serif;color:#666;background:#fff\">无法显示此网页。"
           "<p style=\"margin:12px 0 0\">" +
           reason + "</p></body></html>";
}

// An address as a line of the log shows it: no control characters, at most 300 bytes.
std::string ForLog(const std::string& url) {
    std::string out = url.substr(0, 300);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

// Why a page could not be loaded: for the player (on the error page) and for standard error.
struct Reason {
    std::string page;
    std::string log;
};

Reason CertificateReason(GTlsCertificateFlags errors) {
    static const struct {
        GTlsCertificateFlags flag;
        const char* page;
        const char* log;
    } kProblems[] = {
        {G_TLS_CERTIFICATE_UNKNOWN_CA, "它的签发者不受信任", "unknown issuer"},
        {G_TLS_CERTIFICATE_BAD_IDENTITY, "它不属于这个网站", "issued for another host"},
        {G_TLS_CERTIFICATE_NOT_ACTIVATED, "它尚未生效", "not yet valid"},
        {G_TLS_CERTIFICATE_EXPIRED, "它已过期", "expired"},
        {G_TLS_CERTIFICATE_REVOKED, "它已被吊销", "revoked"},
        {G_TLS_CERTIFICATE_INSECURE, "它的算法不安全", "insecure algorithm"},
        {G_TLS_CERTIFICATE_GENERIC_ERROR, "它无效", "invalid"},
    };
    std::string page, log;
    for (const auto& p : kProblems) {
        if (!(errors & p.flag)) continue;
        page += (page.empty() ? "" : "，") + std::string(p.page);
        log += (log.empty() ? "" : ", ") + std::string(p.log);
    }
    if (page.empty()) {
        page = "它无效";
        log = "invalid";
    }
    return {"此网站的安全证书不受信任：" + page + "。", "untrusted certificate (" + log + ")"};
}

Reason LoadReason(const GError* error) {
    const std::string message = error && error->message ? error->message : "unknown error";
    if (error && error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_CONNECTION_REFUSED: return {"服务器拒绝了连接。", message};
        case G_IO_ERROR_TIMED_OUT: return {"连接服务器超时。", message};
        case G_IO_ERROR_HOST_UNREACHABLE:
        case G_IO_ERROR_NETWORK_UNREACHABLE: return {"无法连接到网络。", message};
        default: break;
        }
    }
    if (error && error->domain == G_RESOLVER_ERROR) return {"找不到服务器。", message};
    return {"网络错误，请稍后再试。", message};
}

}  // namespace

gboolean WebkitView::OnTlsErrors(WebKitWebView*, gchar* uri, GTlsCertificate*, GTlsCertificateFlags errors,
                                 WebkitView* self) {
    // The engine refuses the page; load-failed follows, which shows why.
    self->tlsUri_ = uri ? uri : "";
    self->tlsErrors_ = errors;
    return FALSE;
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
    const Reason why =
        !self->tlsUri_.empty() && self->tlsUri_ == failed ? CertificateReason(self->tlsErrors_) : LoadReason(error);
    self->tlsUri_.clear();
    std::fprintf(stderr, "raduvove: page not loaded: %s: %s\n", ForLog(failed).c_str(), why.log.c_str());
    if (BrowserEvents* sink = self->Sink()) {
        Alive alive = self->alive_;
        sink->NavigateError(failed);
        if (alive.expired() || self->quit_) return TRUE;  // the control went, or quit
    }
    self->errorPage_ = ErrorPage::Asked;
    self->errorUri_ = failed;
    webkit_web_view_load_alternate_html(view, ErrorPageHtml(why.page).c_str(), failed.c_str(), nullptr);
    return TRUE;
}

}  // namespace fw::gtk::browser
