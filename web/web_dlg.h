#pragma once
// The launcher's page dialog: a borderless pop-up owned by the launcher and kept over its
// web area, hosting the platform's page for the game in a browser control. It turns what the
// page does (client links, new windows, script calls) into actions of the client, and keeps
// the page coming: a page that has never loaded is asked for again and again, and a page
// whose engine process ended is loaded again. What the page reports goes to the launcher
// through the ILauncher it was made with.
#include <functional>
#include <memory>
#include <string>

#include "fw/browser.h"
#include "fw/com.h"
#include "fw/page_recovery.h"
#include "fw/window.h"
#include "shared/launcher.h"
#include "web/js_dispatch.h"
#include "web/page_host.h"

class CWebDlg : public fw::Window, public IJSDispatch, public fw::BrowserEvents {
public:
    static constexpr int kBrowserId = 174;
    // Timers of the dialog: the next try of a page that has not loaded yet, and the pause
    // before a page whose engine process ended again soon is loaded again.
    static constexpr unsigned IDT_PAGE_RETRY = 1;
    static constexpr unsigned IDT_PAGE_RECOVERY = 2;
    // Pauses between the tries of a page that has not loaded yet.
    static constexpr unsigned kFirstRetryMs = 2000;
    static constexpr unsigned kLongestRetryMs = 30000;

    // Where the first load of the launcher page stands.
    enum class PageState {
        Connecting,  // asked for, no answer yet
        Retrying,    // it could not be loaded; it is asked for again and again
        Loaded,      // it completed once (the dialog shows with the launcher from then on)
    };

    // The launcher owns the dialog and closes it before it goes itself.
    explicit CWebDlg(ILauncher& launcher);

    // Creates the window (hidden) and its control, and asks for the first page. False when
    // the control could not be made: the dialog has then destroyed and deleted itself.
    bool CreateDlg();
    // Closes the page and the dialog; the dialog deletes itself. The caller drops its pointer.
    void Close();
    // Shows an address (the first request always goes out; later ones only while visible).
    void ShowPage(const std::string& url);
    // Reloads the current page.
    void Refresh();
    // A page that has not loaded yet and waits for its next try is asked for at once, and
    // the pauses start again from the shortest (the launcher was shown again).
    void RetryNow();
    PageState pageState() const { return m_nPageState; }
    // Called whenever pageState() changes.
    void SetPageStateListener(std::function<void()> listener) { m_onPageState = std::move(listener); }

    // Splits the OpenGame text into its three fields at the vertical bars.
    static void SplitOpenGame(const std::string& text, std::string& f1, std::string& f2, std::string& f3);

    fw::BrowserControl* browser() const { return m_page.control(); }
    const std::string& lastUrl() const { return m_strLastUrl; }

    // IJSDispatch: what the launcher page can ask.
    void OpenGame(std::string text) override;
    void ShowIM(std::string text) override;
    void openPay(std::string text) override;
    void ShowBindBtn() override;

    // Browser events.
    void BeforeNavigate2(const std::string& url, bool& cancel) override;
    void NavigateComplete2(const std::string& url) override;
    void DocumentComplete(const std::string& url) override;
    void NavigateError(const std::string& url) override;
    void NewWindow3(const std::string& url, unsigned flags, bool& cancel) override;
    void EngineProcessEnded(fw::EngineExit why) override;

    bool PreTranslateMessage(const fw::Msg& msg) override;
    fw::ControlKey KeyForControl(const fw::Msg& msg) override;

protected:
    int OnCreate() override;
    void OnSize(unsigned type, int cx, int cy) override;
    void OnTimer(unsigned id) override;
    void OnClose() override;
    void OnDestroy() override;
    void OnNcDestroy() override;

private:
    ~CWebDlg() override;  // only through Close / self-deletion

    void SetPageState(PageState state);
    // The launcher page again, bypassing ShowPage's rule for a hidden dialog.
    void RequestPageAgain();

    ILauncher& m_launcher;
    CPageHost m_page{this, CPageHost::Ending::StopAndQuit};  // the page script reaches this dialog
    fw::Rect m_rcBrowser{};
    std::string m_strLastUrl;
    std::string m_strPageUrl;
    bool m_bNavigated = false;
    PageState m_nPageState = PageState::Connecting;
    bool m_bRetryWaiting = false;  // IDT_PAGE_RETRY runs
    fw::Backoff m_retryPause{kFirstRetryMs, kLongestRetryMs};
    fw::PageRecovery m_recovery{*this, IDT_PAGE_RECOVERY, [this] { Refresh(); }};
    std::function<void()> m_onPageState;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
