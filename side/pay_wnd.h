#pragma once
// The payment window: a small borderless panel inside the game window, near its top-right
// corner, showing the payment page the launcher page last asked for. It appears when the
// page has loaded, and the page closes it through window.external ("closedBox"), which the
// window passes on to the game window as WM_PAY_CLOSED.
#include <string>

#include "side/page_panel.h"

class CPayWnd : public CPagePanel {
public:
    static constexpr int kWidth = 238;
    static constexpr int kHeight = 270;
    static constexpr int kBrowserId = 172;
    // Distance of the left edge from the parent's right edge, and from its top.
    static constexpr int kRightOffset = 400;
    static constexpr int kTop = 40;

    // Creates the window, hidden, as a child of `parent` (the game window; without one, a
    // tool window on the desktop) and asks for `payParam`, the payment page's address (the
    // launcher page's last openPay).
    CPayWnd(fw::Window* parent, ILauncher* launcher, const std::string& payParam);

    // IJSDispatch: the page asks to be closed.
    void closedBox() override;

    // Browser events.
    void NewWindow3(const std::string& url, unsigned flags, bool& cancel) override;

protected:
    std::string PageAddress() const override { return m_strPayParam; }

private:
    const std::string m_strPayParam;
};
