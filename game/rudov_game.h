#pragma once
// The game window: a frameless, resizable top-level window with a 40-pixel title bar drawn
// from the skin (caption, image buttons, the animated account-binding button, the clearing
// spinner) over the game page in a browser control. The launcher makes it when the launcher
// page opens a game and destroys it when the user leaves the game; it opens the payment and
// account page windows and the boss-key dialog, and clears the browser cache on request.
// New windows of the game page open as the browser opens them.
//
// The window's lifetime, its actions, sizing and keys are in rudov_game.cpp; the title bar
// (layout, painting, its buttons and animations) in title_bar.cpp; the clearing worker in
// clear_worker.h.
#include <memory>
#include <span>
#include <string>

#include "fw/browser.h"
#include "fw/canvas.h"
#include "fw/image.h"
#include "fw/page_recovery.h"
#include "fw/window.h"
#include "game/clear_worker.h"
#include "game/title_animations.h"
#include "shared/launcher.h"

class CPayWnd;
class CJihuoWnd;
class CWebCtrlInterFace;
struct IWebBrowser2;

// Timer of the binding animation's start, 150 ms after creation.
constexpr unsigned IDT_BIND_ANIMATION = 1001;
// While the window is still hidden at that moment, its visibility is looked at every 50 ms.
constexpr unsigned IDT_BIND_WAIT_VISIBLE = 1002;
// The binding animation's slots and the spinner's frames.
constexpr unsigned IDT_BIND_SLOT = 1003;
constexpr unsigned IDT_SPINNER = 1004;
// The pause before a game page whose engine process ended again soon is loaded again.
constexpr unsigned IDT_GAME_RECOVERY = 1005;

class CRudovGame : public fw::Window, public fw::BrowserEvents {
public:
    static constexpr const char* kCaption = "LumoDrakmoor";  // the window's; the title bar adds the server
    static constexpr int kBrowserId = 175;
    static constexpr int kTitleHeight = 40;
    static constexpr int kMinWidth = 1050;
    static constexpr int kMinHeight = 700;

    // Hover indices of the title-bar buttons (index 0: none).
    enum ButtonIndex { kNone = 0, kClose = 1, kMin, kMax, kReturn, kClear, kBossKey, kVip, kPay, kButtonCount };

    // Creates the window, hidden, sized and placed from the screen, with the launcher's game
    // page requested. Created() is false when the window or its browser control could not
    // be made. The window may outlive the launcher (LauncherRef).
    explicit CRudovGame(ILauncher& launcher);
    ~CRudovGame() override;
    bool Created() const { return IsWindow(); }

    // Reloads or moves the game page. Only web addresses are shown; anything else is refused.
    void NavigateGame(const std::string& url);
    // The clear-cache button's action: clears the browser engine's data except cookies, then
    // trims working sets and empties the engine's cache folder on a worker; says when done.
    void StartClearing();
    // Leaving the game: asks, and on OK tells the launcher (which closes this window).
    void ConfirmExit();
    void ToggleMaximize();
    void OpenPayment();
    void OpenBindPage();
    // Places the title-bar buttons for the current width and sets the drag area.
    void LayoutButtons();

    fw::BrowserControl* browser() const { return m_wndBrowser.get(); }
    const BindingAnimation& bindAnimation() const { return m_bind; }
    const SpinnerAnimation& spinner() const { return m_spinner; }
    // The boss-key hint shown over the boss-key button (the launcher's key name) and
    // whether it is up.
    const std::string& tooltipText() const { return m_strTooltip; }
    bool tooltipVisible() const { return m_bTooltipVisible; }

    // Browser events of the game page.
    void BeforeNavigate2(const std::string& url, bool& cancel) override;
    void DocumentComplete(const std::string& url) override;
    void EngineProcessEnded(fw::EngineExit why) override;

    bool PreTranslateMessage(const fw::Msg& msg) override;

    // The title bar's geometry and state.
    int m_nWidth = 0;
    int m_nHeight = 0;
    fw::Rect m_rcClose{}, m_rcMin{}, m_rcMax{}, m_rcReturn{}, m_rcClear{}, m_rcBossKey{}, m_rcPay{};
    fw::Rect m_rcBind{};  // empty while the binding button is not shown
    fw::Rect m_rcVip{};   // empty while the VIP button is not shown
    fw::Rect m_rcDrag{};  // the part of the title bar that drags the window
    fw::Rect m_rcBrowser{};
    int m_nState[kButtonCount]{};  // by hover index: 0 normal, 1 hovered, 2 pressed
    int m_nHotButton = 0;
    bool m_bTracking = false;
    CPayWnd* m_pPayWnd = nullptr;
    CJihuoWnd* m_pBindWnd = nullptr;
    int m_bClearing = 0;

protected:
    int OnCreate() override;
    void OnDestroy() override;
    void OnClose() override;
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
    // A button of the title bar: where it is, and what a click on it does. A button that
    // shows a pressed state acts on a release after a press on it (state 2), the others on a
    // release while hovered (state 1). `repaint`: its rectangle is painted again on release.
    struct TitleButton {
        int index;
        fw::Rect CRudovGame::*rect;
        bool pressable;
        bool repaint;
        void (CRudovGame::*action)();  // null: the button does nothing yet
    };
    // In the order of hit-testing.
    static std::span<const TitleButton> TitleButtons();
    static const TitleButton* FindTitleButton(int index);

    enum Picture {
        kImgFrame, kImgLogo, kImgClose, kImgMin, kImgMax, kImgRestore, kImgReturn, kImgClear,
        kImgClearing, kImgSpinner, kImgBossKey, kImgPay, kImgBind, kImgVipHover, kImgVipNormal,
        kImageCount
    };

    ILauncher* Launcher() const { return m_launcher.get(); }  // null once the launcher is gone
    const fw::Image* Img(Picture i) const { return m_pImage[i].get(); }
    int ImgWidth(Picture i) const;
    int ImgHeight(Picture i) const;
    int ButtonAt(fw::Point p) const;  // hover index; kButtonCount for the binding button; kNone
    void RefreshButtons();
    void InvalidateRect(const fw::Rect& r);
    void PlaceBindButton();
    void SetTooltip(bool show, fw::Point at);
    void RunBossKeyDialog();
    void Minimize();
    void OpenBindPageIfUnbound();

    void StartBindAnimation();
    void OnBindSlot();
    void EndBindAnimation();
    void OnSpinnerFrame();
    void StartClearWorker();
    void OnClearingDone();
    void CloseSideWindow(unsigned msg);
    void StopWorkers();
    void ReleaseAll();

    void ComposeBackground();
    void ComposeCaption(const std::string& text);

    const LauncherRef m_launcher;
    std::unique_ptr<fw::Image> m_pImage[kImageCount];
    fw::Font m_font{"宋体", 13, false};
    CWebCtrlInterFace* m_pHost = nullptr;  // one reference held
    IWebBrowser2* m_pBrowser = nullptr;    // one reference held
    std::unique_ptr<fw::BrowserControl> m_wndBrowser;

    std::string m_strTooltip;
    bool m_bTooltipVisible = false;

    BindingAnimation m_bind;
    SpinnerAnimation m_spinner;
    ClearWorker m_clear;
    fw::PageRecovery m_recovery{*this, IDT_GAME_RECOVERY, [this] {
                                    if (m_wndBrowser) m_wndBrowser->Refresh();
                                }};

    // The title bar's unchanging parts, composed once per size (and caption).
    fw::Bitmap m_bmBackground;
    std::string m_strCaptionDrawn;
    std::unique_ptr<fw::Image> m_pCaption;  // the caption's text on a transparent layer
    bool m_bCaptionComposed = false;
};

// The one game window while it exists; cleared when its window is destroyed.
extern CRudovGame* g_pGameWnd;
