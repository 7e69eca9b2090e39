#pragma once
// The account page window: a borderless panel centred over the game window that shows the
// platform's account page, on which a guest player binds or registers the account. The page
// reports back through window.external: "AccountBindSuccess" marks the account as bound,
// "CloseBindPage" closes the panel.
#include <memory>
#include <string>

#include "fw/browser.h"
#include "fw/window.h"
#include "web/js_dispatch.h"

class CWebCtrlInterFace;

class CJihuoWnd : public fw::Window, public IJSDispatch, public fw::BrowserEvents {
public:
    static constexpr int kWidth = 479;
    static constexpr int kHeight = 287;
    static constexpr int kBrowserId = 171;
    static constexpr const char* kPagePath = "/game/s/jihuo/?game=wkln";

    // Creates the panel, hidden, as a child of `parent` (the game window; without one, a
    // tool window on the desktop) and asks for the account page. The text is not used.
    CJihuoWnd(fw::Window* parent, const std::string& text);
    ~CJihuoWnd() override;
    bool Created() const { return IsWindow(); }

    fw::BrowserControl* browser() const { return m_wndBrowser.get(); }

    // IJSDispatch: the account is bound; the page is done.
    void AccountBindSuccess(std::string text) override;
    void CloseBindPage(std::string text) override;
    void OnBindDone() override;
    void OnBindClose() override;

    // Browser events.
    void DocumentComplete(const std::string& url) override;
    void NewWindow3(const std::string& url, bool& cancel) override;

    bool PreTranslateMessage(const fw::Msg& msg) override;

protected:
    int OnCreate() override;
    void OnDestroy() override;

private:
    void ReleaseHost();

    int m_nWidth = kWidth;
    int m_nHeight = kHeight;
    fw::Window* m_pParent;
    std::unique_ptr<fw::BrowserControl> m_wndBrowser;
    CWebCtrlInterFace* m_pHost = nullptr;  // one reference held
};
