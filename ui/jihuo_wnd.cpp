#include "ui/jihuo_wnd.h"

#include "app/hosts.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "fw/system.h"

CJihuoWnd::CJihuoWnd(fw::Window* parent, const std::string& text)
    : CPagePanel(parent, kWidth, kHeight, kBrowserId) {
    (void)text;
    // Centred on the game window's outer size, in its client area: a game window smaller
    // than the panel gives negative offsets, and the panel is clipped at its edges. Without
    // a game window it is centred on the screen.
    const fw::Rect outer = Inside() ? m_pParent->GetWindowRect()
                                    : fw::Rect{0, 0, fw::ScreenSize().cx, fw::ScreenSize().cy};
    CreatePanel({(outer.Width() - m_nWidth) / 2, (outer.Height() - m_nHeight) / 2});
}

std::string CJihuoWnd::PageAddress() const {
    const std::string portal = g_pMainWnd ? g_pMainWnd->m_hosts.portal : app::DefaultHosts().portal;
    return app::HttpAddress(portal, kPagePath);
}

// ---- page -------------------------------------------------------------------------------

void CJihuoWnd::AccountBindSuccess(std::string text) {
    (void)text;
    OnBindDone();
}

void CJihuoWnd::OnBindDone() {
    // The panel stays open until the page also asks to close it.
    if (g_pMainWnd) g_pMainWnd->m_bAccountBound = 1;
}

void CJihuoWnd::CloseBindPage(std::string text) {
    (void)text;
    OnBindClose();
}

void CJihuoWnd::OnBindClose() { PostToGameWindow(WM_BIND_CLOSED); }

void CJihuoWnd::NewWindow3(const std::string& url, unsigned flags, bool& cancel) {
    (void)url;
    (void)flags;
    cancel = true;  // refused silently: nothing is opened anywhere
}
