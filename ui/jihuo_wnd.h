#pragma once
// The account page window: a borderless panel centred over the game window that shows the
// platform's account page, on which a guest player binds or registers the account. The page
// reports back through window.external: "AccountBindSuccess" marks the account as bound,
// "CloseBindPage" closes the panel.
#include <string>

#include "ui/page_panel.h"

class CJihuoWnd : public CPagePanel {
public:
    static constexpr int kWidth = 479;
    static constexpr int kHeight = 287;
    static constexpr int kBrowserId = 171;
    static constexpr const char* kPagePath = "/game/s/jihuo/?game=wkln";

    // Creates the panel, hidden, as a child of `parent` (the game window; without one, a
    // tool window on the desktop) and asks for the account page. The text is not used.
    CJihuoWnd(fw::Window* parent, const std::string& text);

    // IJSDispatch: the account is bound; the page is done.
    void AccountBindSuccess(std::string text) override;
    void CloseBindPage(std::string text) override;
    void OnBindDone() override;
    void OnBindClose() override;

    // Browser events.
    void NewWindow3(const std::string& url, unsigned flags, bool& cancel) override;

protected:
    std::string PageAddress() const override;
};
