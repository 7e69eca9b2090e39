#include "side/pay_wnd.h"

#include "fw/shell.h"
#include "fw/system.h"
#include "shared/messages.h"

CPayWnd::CPayWnd(fw::Window* parent, ILauncher* launcher, const std::string& payParam)
    : CPagePanel(parent, launcher, kWidth, kHeight, kBrowserId), m_strPayParam(payParam) {
    // Inside the game window: a child placed in its client area, near the right edge by the
    // game window's outer width. Without a game window it sits on the desktop.
    const int parentWidth = Inside() ? m_pParent->GetWindowRect().Width() : fw::ScreenSize().cx;
    CreatePanel({parentWidth - kRightOffset, kTop});
}

void CPayWnd::closedBox() { PostToParent(WM_PAY_CLOSED); }

void CPayWnd::NewWindow3(const std::string& url, unsigned flags, bool& cancel) {
    // Pop-ups of the payment page open in the default browser, never inside the client:
    // web addresses only, one per click and a few at most in a short time.
    cancel = true;
    fw::ShellOpenFromPage(url, flags);
}
