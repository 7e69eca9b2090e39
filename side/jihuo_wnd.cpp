#include "side/jihuo_wnd.h"

#include "shared/hosts.h"
#include "shared/messages.h"

CJihuoWnd::CJihuoWnd(fw::Window* parent, ILauncher* launcher)
    : CPagePanel(parent, launcher, kWidth, kHeight, kBrowserId) {
    // Centred on the game window's outer size, in its client area: a game window smaller
    // than the panel gives negative offsets, and the panel is clipped at its edges. Without
    // a game window it is centred on the screen.
    CreatePanel(CentredOnParent());
}

std::string CJihuoWnd::PageAddress() const {
    const ILauncher* launcher = Launcher();
    return shared::HttpAddress(launcher ? launcher->Hosts().portal : shared::DefaultHosts().portal, kPagePath);
}

// ---- page -------------------------------------------------------------------------------

void CJihuoWnd::AccountBindSuccess(std::string text) {
    (void)text;
    OnBindDone();
}

void CJihuoWnd::OnBindDone() {
    // The panel stays open until the page also asks to close it.
    if (ILauncher* launcher = Launcher()) launcher->SetAccountBound(true);
}

void CJihuoWnd::CloseBindPage(std::string text) {
    (void)text;
    OnBindClose();
}

void CJihuoWnd::OnBindClose() { PostToParent(WM_BIND_CLOSED); }

void CJihuoWnd::NewWindow3(const std::string& url, unsigned flags, bool& cancel) {
    (void)url;
    (void)flags;
    cancel = true;  // refused silently: nothing is opened anywhere
}
