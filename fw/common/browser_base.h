#pragma once
// The part of a browser control that every back end shares whose browser is not the
// system's own control (headless, GTK): the control's COM face (IUnknown answering
// IWebBrowser2 and IOleObject), its container site, the client site a host puts in its
// place, and the questions the control asks that site's UI handler.
#include <atomic>

#include "fw/browser.h"
#include "fw/com.h"
#include "fw/com_ptr.h"

namespace fw::detail {

class BrowserBase : public BrowserControl {
public:
    BrowserBase();
    ~BrowserBase() override;

    IUnknown* GetControlUnknown() override;
    void SetEvents(BrowserEvents* sink) override { events_ = sink; }
    void SetSilent(bool s) override { silent_ = s; }
    bool silent() const override { return silent_; }

    // The client site in use (the container's own until a host replaces it).
    IOleClientSite* ClientSite() const { return site_.Get(); }

protected:
    // GetHostInfo's flags from the site's UI handler; 0 when it has none or it fails.
    DWORD HostFlags() const;
    // True when the site's UI handler takes the context menu (answers S_OK): no menu then.
    bool HostSuppressesContextMenu() const;
    // The page's window.external: GetExternal of the site's UI handler; null when there is none.
    ComPtr<IDispatch> AcquireExternal() const;
    // Drops the client site (the control lets go of its host when it quits or goes).
    void ReleaseSite();

    BrowserEvents* events_ = nullptr;
    bool silent_ = false;

private:
    class Com;
    friend class Com;
    ComPtr<IDocHostUIHandler> UiHandler() const;  // null when none
    Com* com_;
    ComPtr<IOleClientSite> site_;
    ComPtr<IOleClientSite> container_;  // the container's own site
};

}  // namespace fw::detail
