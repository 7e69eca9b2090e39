#include "fw/win32/refresh_rule.h"

#include "fw/browser.h"

namespace fw::win32 {

namespace {

// An address without its fragment: a refresh loads the document, whatever part of it the
// address pointed at.
std::string Document(const std::string& url) { return url.substr(0, url.find('#')); }

}  // namespace

void RefreshRule::Refresh(const std::string& pageUrl) {
    refreshing_ = true;
    pageSeen_ = false;
    pageUrl_ = Document(pageUrl);
}

bool RefreshRule::PassBeforeNavigate(bool top, const std::string& url) {
    const std::string doc = Document(url);
    if (top) {
        if (refreshing_ && !pageSeen_ && doc == pageUrl_) {
            pageSeen_ = true;  // the page loads again: the refresh's own
            return false;
        }
        // A new page: the refresh, if one ran, is superseded, and the frames are the new
        // page's from now on.
        refreshing_ = false;
        frames_.clear();
        return true;
    }
    if (refreshing_ && frames_.count(doc)) return false;  // a frame of the page loads again
    frames_.insert(doc);
    return true;
}

void RefreshRule::FrameAt(const std::string& url) { frames_.insert(Document(url)); }

bool RefreshRule::PassNewWindow(unsigned flags, bool listening) const {
    return listening && (!refreshing_ || (flags & NWMF_USERINITED) != 0);
}

}  // namespace fw::win32
