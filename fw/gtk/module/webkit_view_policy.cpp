// The view's navigation policy: every navigation the page or the user starts asks the host
// first (BeforeNavigate2, which may cancel it), and every new window (a target=_blank link,
// window.open through the create signal) asks NewWindow3. A refresh raises no navigation
// events of its own: from Refresh until its load ends, the navigations no user started (the
// page again, its frames) are let through silently, and a reloading page opens no windows.
// NewWindow3's flags: a request made while a user's action was handled (the engine says so)
// is user-initiated; it is the first of that action when no other came since the last button
// or key press the view received.
#include <webkit2/webkit2.h>

#include <string>

#include "fw/gtk/module/webkit_view.h"

namespace fw::gtk::browser {

namespace {

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

}  // namespace

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

}  // namespace fw::gtk::browser
