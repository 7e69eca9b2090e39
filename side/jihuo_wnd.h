#pragma once
// The account page window: a borderless panel centred over the game window that shows the
// platform's account page, on which a guest player binds or registers the account. The page
// reports back through window.external: "AccountBindSuccess" marks the account as bound in
// the launcher, "CloseBindPage" asks the game window to close the panel (WM_BIND_CLOSED).
#include <string>

#include "side/page_panel.h"

class CJihuoWnd : public CPagePanel {
public:
    static constexpr int kWidth = 479;
    static constexpr int kHeight = 287;
    static constexpr int kBrowserId = 171;
    static constexpr const char* kPagePath = "/game/s/jihuo/?game=wkln";

    // Creates the panel, hidden, as a child of `parent` (the game window; without one, a
    // tool window on the desktop) and asks for the account page on the launcher's portal
    // (the default portal without a launcher).
    CJihuoWnd(fw::Window* parent, ILauncher* launcher);

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
