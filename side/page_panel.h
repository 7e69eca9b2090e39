#pragma once
// A small borderless window of the game window that shows one platform page in a browser
// control (filling it unless the panel says otherwise), and offers the page the script
// bridge: the base of the payment, account page and VIP windows. The window stays hidden
// until its page has loaded; Escape is swallowed and Alt+F4 asks about quitting the whole
// client; every other key reaches the page. A page whose engine process ended is loaded
// again. What the page asks of the game window is posted to the parent the panel was made in.
#include <memory>
#include <string>

#include "fw/browser.h"
#include "fw/page_recovery.h"
#include "fw/window.h"
#include "shared/launcher.h"
#include "web/js_dispatch.h"
#include "web/page_host.h"

class CPagePanel : public fw::Window, public IJSDispatch, public fw::BrowserEvents {
public:
    ~CPagePanel() override;
    bool Created() const { return IsWindow(); }

    fw::BrowserControl* browser() const { return m_page.control(); }

    // The pause before a page whose engine process ended again soon is loaded again.
    static constexpr unsigned IDT_PAGE_RECOVERY = 1;

    // Browser events: the first completed document shows the window.
    void DocumentComplete(const std::string& url) override;
    void EngineProcessEnded(fw::EngineExit why) override;

    bool PreTranslateMessage(const fw::Msg& msg) override;
    // Every key that passes goes to the control's accelerator translation, whose answer is
    // ignored, and then to the page as usual.
    fw::ControlKey KeyForControl(const fw::Msg& msg) override;

protected:
    // `launcher` may be null (then Alt+F4's question closes nothing).
    CPagePanel(fw::Window* parent, ILauncher* launcher, int width, int height, int browserId);

    // True when the panel goes inside its parent (the game window is there).
    bool Inside() const { return m_pParent && m_pParent->IsWindow(); }
    // Creates the window, hidden, at `topLeft`: in the parent's client area as its child, or
    // without a parent on the desktop as a tool window. The browser control is made and sent
    // to PageAddress() on the way.
    void CreatePanel(fw::Point topLeft);
    // Where a panel centred on the parent's outer size goes in its client area (a parent
    // smaller than the panel gives negative offsets, halves truncated toward zero); without a
    // parent, centred on the screen.
    fw::Point CentredOnParent() const;
    virtual std::string PageAddress() const = 0;
    // The browser control's rectangle in the panel (the whole panel unless overridden).
    virtual fw::Rect BrowserRect() const { return {0, 0, m_nWidth, m_nHeight}; }
    // Posts `msg` to the parent (the game window), so that the page's script call returns
    // before the game window acts; with no parent (or one already gone) the request is lost.
    void PostToParent(unsigned msg) const;
    ILauncher* Launcher() const { return m_launcher.get(); }  // null once it is gone

    int OnCreate() override;
    void OnDestroy() override;
    void OnTimer(unsigned id) override;

    const int m_nWidth;
    const int m_nHeight;
    fw::Window* const m_pParent;

private:
    // Stops the page's recovery and ends the page.
    void EndPage();

    const int m_nBrowserId;
    const fw::Handle m_hParent;
    const LauncherRef m_launcher;
    CPageHost m_page{this, CPageHost::Ending::DestroyControl};  // the page script reaches this panel
    fw::PageRecovery m_recovery{*this, IDT_PAGE_RECOVERY, [this] {
                                    if (browser()) browser()->Refresh();
                                }};
};
