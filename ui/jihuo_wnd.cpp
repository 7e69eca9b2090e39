#include "ui/jihuo_wnd.h"

#include "app/hosts.h"
#include "app/main_wnd.h"
#include "app/messages.h"
#include "fw/system.h"
#include "web/web_ctrl_interface.h"

namespace {

void PostToGameWindow(unsigned msg) {
    // With no game window (or one already gone) the request is lost.
    fw::Window* game = g_pMainWnd ? g_pMainWnd->m_pGameWnd : nullptr;
    if (game) fw::Window::Post(game->handle(), msg);
}

}  // namespace

CJihuoWnd::CJihuoWnd(fw::Window* parent, const std::string& text) : m_pParent(parent) {
    (void)text;
    m_pHost = new CWebCtrlInterFace();
    m_pHost->m_pExternal = new CJSDispatch(this);
    m_pHost->AddRef();

    // Centred on the game window's outer size, in its client area: a game window smaller
    // than the panel gives negative offsets, and the panel is clipped at its edges. Without
    // a game window it is centred on the screen.
    const bool inside = m_pParent && m_pParent->IsWindow();
    const fw::Rect outer = inside ? m_pParent->GetWindowRect()
                                  : fw::Rect{0, 0, fw::ScreenSize().cx, fw::ScreenSize().cy};
    fw::CreateParams p;
    p.style = inside ? fw::kChild | fw::kTopmost : fw::kPopup | fw::kToolWindow | fw::kTopmost;
    p.parent = inside ? m_pParent : nullptr;
    p.rect = fw::Rect::FromXYWH((outer.Width() - m_nWidth) / 2, (outer.Height() - m_nHeight) / 2,
                                m_nWidth, m_nHeight);
    Create(p);
}

CJihuoWnd::~CJihuoWnd() {
    Destroy();
    ReleaseHost();  // when the window never came to be
}

int CJihuoWnd::OnCreate() {
    m_wndBrowser = fw::BrowserControl::Create(*this, kBrowserId, fw::Rect{0, 0, m_nWidth, m_nHeight});
    if (!m_wndBrowser) return -1;  // a panel without its page would never show
    AttachToControl(m_pHost, m_wndBrowser->GetControlUnknown());
    m_wndBrowser->SetEvents(this);
    m_wndBrowser->SetSilent(true);
    const std::string portal = g_pMainWnd ? g_pMainWnd->m_hosts.portal : app::DefaultHosts().portal;
    m_wndBrowser->Navigate(app::HttpAddress(portal, kPagePath));
    return 0;  // hidden until the page has loaded
}

void CJihuoWnd::ReleaseHost() {
    if (m_pHost) {
        m_pHost->Release();
        m_pHost = nullptr;
    }
}

void CJihuoWnd::OnDestroy() {
    ReleaseHost();
    m_wndBrowser.reset();
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

// Posted, so that the page's script call returns before the panel goes.
void CJihuoWnd::OnBindClose() { PostToGameWindow(WM_BIND_CLOSED); }

void CJihuoWnd::DocumentComplete(const std::string& url) {
    (void)url;
    Show(fw::ShowCmd::Show);
}

void CJihuoWnd::NewWindow3(const std::string& url, bool& cancel) {
    (void)url;
    cancel = true;  // refused silently: nothing is opened anywhere
}

// ---- keys -------------------------------------------------------------------------------

bool CJihuoWnd::PreTranslateMessage(const fw::Msg& msg) {
    if (msg.message == fw::WM_KEYDOWN && msg.wParam == fw::VK_ESCAPE) return true;
    if (msg.message == fw::WM_SYSKEYDOWN && msg.wParam == fw::VK_F4) {
        // Alt+F4 asks about quitting the whole client, not about this panel.
        CMainWnd::ExitPrompt(g_pMainWnd && g_pMainWnd->IsWindow() ? g_pMainWnd : nullptr);
        return true;
    }
    return false;  // every other key reaches the page as usual
}
