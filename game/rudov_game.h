#pragma once
// The game window: a frameless, resizable top-level window with a 40-pixel title bar drawn
// from the skin (caption, image buttons, the animated account-binding button, the clearing
// spinner, the VIP button) over the game page in a browser control. The launcher makes it
// when the launcher page opens a game and destroys it when the user leaves the game; it opens
// the payment, account page and VIP windows and the boss-key dialog, clears the browser cache
// on request, and runs the VIP customer service once the launcher page hands it its list.
// New windows of the game page open as the browser opens them.
//
// The window's lifetime, its actions, sizing and keys are in rudov_game.cpp; the title bar
// (layout, painting, its buttons and animations) is a CTitleBar of its own (title_bar.h),
// the customer service (the chat library, the VIP button's blink, the VIP window, the
// heartbeat) a CVipService (vip_service.h); the clearing worker is in clear_worker.h, the
// heartbeat's workers in heartbeat.h.
#include <memory>
#include <string>

#include "fw/browser.h"
#include "fw/canvas.h"
#include "fw/page_recovery.h"
#include "fw/window.h"
#include "game/chat_library.h"
#include "game/clear_worker.h"
#include "game/title_animations.h"
#include "game/title_bar.h"
#include "game/vip_service.h"
#include "shared/launcher.h"
#include "web/page_host.h"

class CPayWnd;
class CJihuoWnd;
class CVipmsgWnd;

// The game window's timers: the title bar's (1001 to 1004) are in title_bar.h, the VIP
// button's (1006, 1007) in vip_service.h.
// The pause before a game page whose engine process ended again soon is loaded again.
constexpr unsigned IDT_GAME_RECOVERY = 1005;

class CRudovGame : public fw::Window, public fw::BrowserEvents {
public:
    static constexpr const char* kCaption = "LumoDrakmoor";  // the window's; the title bar adds the server
    static constexpr int kBrowserId = 175;
    static constexpr int kTitleHeight = CTitleBar::kHeight;
    static constexpr int kMinWidth = 1050;
    static constexpr int kMinHeight = 700;

    // Creates the window, hidden, where the last game window was (StartingPlace), with the
    // launcher's game page requested. Created() is false when the window or its browser control could not
    // be made. The window may outlive the launcher (LauncherRef).
    explicit CRudovGame(ILauncher& launcher);
    ~CRudovGame() override;
    bool Created() const { return IsWindow(); }

    // Reloads or moves the game page. Only web addresses are shown; anything else is refused.
    void NavigateGame(const std::string& url);
    // The clear-cache button's action: on a worker, trims working sets, clears the browser
    // engine's data except cookies (on the UI thread first, before the worker starts, where
    // the engine belongs to it) and empties the engine's cache folder; says when done.
    void StartClearing();
    // Leaving the game: asks, and on OK tells the launcher (which closes this window).
    void ConfirmExit();
    void ToggleMaximize();
    void OpenPayment();
    void OpenBindPage();

    // ---- The VIP customer service (CVipService, vip_service.h).
    // The launcher page's ShowIM list (seven values, each followed by "|"): starts the chat
    // library, shows the VIP button when the library is ready, and starts a heartbeat. A list
    // without "|" starts nothing.
    void StartServices(const std::string& list) { m_vip.Start(list); }
    // The VIP button's press: the VIP window comes up, or the player is linked to an agent
    // first.
    void OpenVip() { m_vip.Open(); }
    // The link step: the chat page's address from the library; WM_SHOW_VIP follows with
    // `showReason` (1: the player pressed the button; 0: a message arrived). False when the
    // library has no setlnk.
    bool LinkVip(int showReason) { return m_vip.Link(showReason); }
    // The list has been parsed: the VIP button is placed (on every resize from now on).
    bool servicesParsed() const { return m_vip.parsed(); }
    const chat::ServiceFields& serviceFields() const { return m_vip.fields(); }
    // The last text of the customer service (the chat page's address).
    std::string lastImText() const { return chat::ImInbox::LastText(); }
    CVipmsgWnd* vipWindow() const { return m_vip.window(); }
    const VipBlink& vipBlink() const { return m_vip.blink(); }
    const Heartbeat& heartbeat() const { return m_vip.heartbeat(); }

    fw::BrowserControl* browser() const { return m_page.control(); }
    // The title bar: where its buttons are, its animations, the boss-key hint.
    const CTitleBar& titleBar() const { return m_bar; }
    const BindingAnimation& bindAnimation() const { return m_bar.bindAnimation(); }
    const SpinnerAnimation& spinner() const { return m_bar.spinner(); }
    const std::string& tooltipText() const { return m_bar.tooltipText(); }
    bool tooltipVisible() const { return m_bar.tooltipVisible(); }

    // Browser events of the game page.
    void BeforeNavigate2(const std::string& url, bool& cancel) override;
    void DocumentComplete(const std::string& url) override;
    void EngineProcessEnded(fw::EngineExit why) override;
    // The game page's new windows open in browser windows of the game window's own (hidden
    // and shown with it, closed with it), within the limits every page has.
    void NewWindow3(const std::string& url, unsigned flags, bool& cancel) override;

    bool PreTranslateMessage(const fw::Msg& msg) override;

protected:
    int OnCreate() override;
    void OnDestroy() override;
    void OnClose() override;
    void OnShowWindow(bool show) override;
    void OnPaint(fw::Canvas& canvas) override;
    void OnMouseMove(fw::Point p) override;
    void OnMouseLeave() override;
    void OnLButtonDown(fw::Point p) override;
    void OnLButtonUp(fw::Point p) override;
    void OnLButtonDblClk(fw::Point p) override;
    void OnKeyDown(unsigned vk, bool sys) override;
    void OnSize(unsigned type, int cx, int cy) override;
    void OnTimer(unsigned id) override;
    void OnSysCommand(unsigned cmd, fw::LPARAM lp) override;
    int OnNcHitTest(fw::Point screen) override;
    void OnNcLButtonDown(int hit, fw::Point screen) override;
    bool OnSetCursor(int hit) override;
    void OnGetMinMaxInfo(fw::Size& minTrack) override;
    fw::LRESULT OnMessage(unsigned msg, fw::WPARAM wp, fw::LPARAM lp) override;

private:
    ILauncher* Launcher() const { return m_launcher.get(); }  // null once the launcher is gone
    // Where the window opens: the place the last game window left when it is still usable,
    // otherwise centred at a size taken from the screen.
    fw::Rect StartingPlace() const;
    // What a click on the title bar asked for.
    void OnTitleBarClick(CTitleBar::Click click);
    void RunBossKeyDialog();
    void Minimize();
    void OpenBindPageIfUnbound();

    void StartClearWorker();
    void OnClearingDone();
    void CloseSideWindow(unsigned msg);
    void StopWorkers();
    void ReleaseAll();

    // The window's size (kept while minimised) and the game page's place in it.
    int m_nWidth = 0;
    int m_nHeight = 0;
    fw::Rect m_rcBrowser{};
    CPayWnd* m_pPayWnd = nullptr;
    CJihuoWnd* m_pBindWnd = nullptr;
    bool m_bClearing = false;
    bool m_bShown = false;  // the player has seen it: its place is worth keeping

    const LauncherRef m_launcher;
    CTitleBar m_bar{*this, m_launcher, kCaption};
    CPageHost m_page{nullptr, CPageHost::Ending::StopAndQuit};  // no script bridge: game pages have no window.external

    ClearWorker m_clear;
    CVipService m_vip{*this, m_launcher, m_bar};
    fw::PageRecovery m_recovery{*this, IDT_GAME_RECOVERY, [this] {
                                    if (browser()) browser()->Refresh();
                                }};
};
