#pragma once
// A window's page: the browser control, the host object that the control takes as its client
// site (no context menu, no border, no scroll bars, and the window's script bridge as the
// page's window.external when the window answers script), and their ending in the right
// order. The page dialog, the game window and the side windows each hold one.
#include <memory>

#include "fw/browser.h"
#include "fw/com_ptr.h"
#include "fw/window.h"

class CWebCtrlInterFace;
class IJSDispatch;

class CPageHost {
public:
    // What happens to the page when it ends.
    enum class Ending {
        DestroyControl,  // the control goes, and its page with it
        StopAndQuit,     // the page is stopped and ended for good first, then the control goes
    };

    // Makes the host object. `bridge`: the window that answers the page's script (the page's
    // window.external); null when the page has none.
    CPageHost(IJSDispatch* bridge, Ending ending);
    ~CPageHost();  // End()
    CPageHost(const CPageHost&) = delete;
    CPageHost& operator=(const CPageHost&) = delete;

    // Makes the control as a silent child of `parent` with the id in `rect` (the parent's
    // client coordinates), with the host object as its client site and its events going to
    // `events`. False, and no control, when it cannot be made, when it is no browser control
    // (it offers no IWebBrowser2) or when the page has ended.
    bool Create(fw::Window& parent, int id, const fw::Rect& rect, fw::BrowserEvents* events,
                const fw::BrowserOptions& options = {});
    // Ends the page: lets go of the host object; stops the page and ends it for good when the
    // ending says so (no events and no script calls afterwards); destroys the control. The
    // host object, and the bridge it owns, go once the control has let go of it too. Nothing
    // happens the second time.
    void End();

    // Null before Create, after a failed one and after End.
    fw::BrowserControl* control() const { return m_wndBrowser.get(); }

private:
    const Ending m_ending;
    fw::ComPtr<CWebCtrlInterFace> m_pHost;
    std::unique_ptr<fw::BrowserControl> m_wndBrowser;
};
