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
// load with events of its own).
constexpr const char* kErrorPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title></title></head>"
    "<body style=\"margin:24px;font:14px sans-serif;color:#666;background:#fff\">无法显示此网页。</body></html>";

}  // namespace

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

}  // namespace fw::gtk::browser
