#pragma once
// Which of the browser control's navigation events reach the client while a page is being
// refreshed (fw/browser.h: a Refresh raises no BeforeNavigate2 and no NewWindow3 of its own).
// Kept apart from the COM plumbing of browser_events.cpp so that the rule can be tested with
// any sequence of events; no system header.
//
// The system's control does not say who started a navigation, so a refresh's own navigations
// are told by their addresses: the page's own address at the top (once), and the addresses
// its frames had before the refresh. Anything else that navigates meanwhile (the player's
// click on a link, in the page or in a frame) is passed on as in any other load; a top-level
// navigation elsewhere ends the refresh, since the page moves on. A new window is passed on
// outside a refresh, and during one only when a user's action asked for it; a new window that
// is not passed on must be cancelled, or the control opens a browser window of its own.
#include <set>
#include <string>

namespace fw::win32 {

class RefreshRule {
public:
    // Refresh was asked for, of the page now at `pageUrl` (the control's location).
    void Refresh(const std::string& pageUrl);
    // The refresh is over: the page's load ended (completed or failed), or the client
    // navigated elsewhere or stopped the page.
    void End() { refreshing_ = false; }
    bool refreshing() const { return refreshing_; }

    // BeforeNavigate2 of the page itself (`top`) or of one of its frames: true when the client
    // hears of it. False only for the refresh's own navigations, which go on silently (they
    // are never cancelled).
    bool PassBeforeNavigate(bool top, const std::string& url);
    // NavigateComplete2 or DocumentComplete of a frame: the page has a frame at that address
    // (a frame may end up elsewhere than it asked for: the server redirected it).
    void FrameAt(const std::string& url);
    // NewWindow3 with its flags (fw::NWMF_USERINITED ...), for a control whose client listens
    // (`listening`): true when the client hears of it. When false the caller cancels it.
    bool PassNewWindow(unsigned flags, bool listening) const;

private:
    bool refreshing_ = false;
    bool pageSeen_ = false;         // the refresh's own top-level navigation came
    std::string pageUrl_;           // the page being refreshed, without its fragment
    std::set<std::string> frames_;  // the addresses of the current page's frames
};

}  // namespace fw::win32
