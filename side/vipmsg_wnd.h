#pragma once
// The VIP customer-service window: an 831x673 borderless panel centred in the game window,
// with a 30-pixel title bar of its own (gradient, logo, the title, a close cross) over the
// chat page, whose address the chat library gave. The window's caption is its title. The page reports the agent's name and
// status ("DialogBoxTopInfo"), which make the title; an agent reported offline also ends the
// VIP button's blink in the game window. The window never ends itself: the close cross, the
// page's "API_close" and the page's attempt to close its browser window each post
// WM_VIP_NOTIFY to the game window, which closes it and resets its chat state. New windows of
// the page open in the default browser (web addresses only).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "fw/canvas.h"
#include "fw/image.h"
#include "side/page_panel.h"
#include "ui/skin.h"

class CVipmsgWnd : public CPagePanel {
public:
    static constexpr int kWidth = 831;
    static constexpr int kHeight = 673;
    static constexpr int kTitleHeight = 30;
    static constexpr int kBrowserId = 173;
    static constexpr const char* kConnectingTitle = "连接客服中...";
    static constexpr const char* kTitleFace = "宋体";

    // Creates the panel, hidden, centred in `parent` (the game window; without one, on the
    // desktop), on the chat page at `address`. `showWhenLoaded`: it shows itself when the page
    // has loaded (the player pressed the VIP button); otherwise it stays hidden until the game
    // window shows it. `agentOffline` runs when the page reports the agent offline.
    CVipmsgWnd(fw::Window* parent, ILauncher* launcher, const std::string& address, bool showWhenLoaded,
               std::function<void()> agentOffline);
    ~CVipmsgWnd() override;

    // The title that "DialogBoxTopInfo" makes of its text: the agent's name ("客服不在线" for a
    // name holding "undefined") and status, fields separated by "|" (a field with no "|" after
    // it runs to the end). nullopt (nothing changes) for a text without any "|". `online`
    // tells whether the status begins with "在线".
    struct TopInfo {
        std::string title;
        bool online = false;
    };
    static std::optional<TopInfo> TitleFromTopInfo(const std::string& text);

    const std::string& title() const { return m_strTitle; }
    const std::string& address() const { return m_strAddress; }
    bool showWhenLoaded() const { return m_bShowWhenLoaded; }
    const fw::Rect& closeRect() const { return m_btnClose.rect; }
    int closeState() const { return m_btnClose.state; }
    // The title is drawn only where its face exists.
    bool drawsTitle() const { return m_bTitleFace; }

    // IJSDispatch: what the chat page asks.
    void API_close() override;
    void DialogBoxTopInfo(std::string text) override;

    // Browser events.
    void DocumentComplete(const std::string& url) override;
    void NewWindow3(const std::string& url, unsigned flags, bool& cancel) override;
    void WindowClosing(bool& cancel) override;

    // Backspace (wParam 8) reaches the page without the control's accelerator translation;
    // Enter (wParam 13) reaches it only through that translation (it is never dispatched);
    // the rest as in every page panel.
    fw::ControlKey KeyForControl(const fw::Msg& msg) override;

protected:
    std::string PageAddress() const override { return m_strAddress; }
    fw::Rect BrowserRect() const override { return {0, kTitleHeight, kWidth, kHeight}; }
    int OnCreate() override;
    void OnDestroy() override;
    void OnPaint(fw::Canvas& canvas) override;
    void OnMouseMove(fw::Point p) override;
    void OnLButtonDown(fw::Point p) override;
    void OnLButtonUp(fw::Point p) override;

private:
    void InvalidateClose();

    const std::string m_strAddress;
    const bool m_bShowWhenLoaded;
    std::function<void()> m_agentOffline;
    std::string m_strTitle = kConnectingTitle;
    std::unique_ptr<fw::Image> m_pLogo;
    std::unique_ptr<fw::Image> m_pTitleBar;
    ui::SkinButton m_btnClose;  // the close cross: a vertical strip of three 40x20 slices
    fw::Font m_fontTitle{kTitleFace, 13, true};
    bool m_bTitleFace = false;
};
