#include "ui/pay_wnd.h"

#include "app/main_wnd.h"
#include "app/messages.h"
#include "fw/shell.h"
#include "fw/system.h"
#include "web/web_ctrl_interface.h"

CPayWnd::CPayWnd(fw::Window* parent, const std::string& text) : m_pParent(parent) {
    (void)text;
    m_pHost = new CWebCtrlInterFace();
    m_pHost->m_pExternal = new CJSDispatch(this);
    m_pHost->AddRef();

    // Inside the game window: a child placed in its client area, near the right edge by the
    // game window's outer width. Without a game window it sits on the desktop.
    const bool inside = m_pParent && m_pParent->IsWindow();
    const int parentWidth = inside ? m_pParent->GetWindowRect().Width() : fw::ScreenSize().cx;
    fw::CreateParams p;
    p.style = inside ? fw::kChild | fw::kTopmost : fw::kPopup | fw::kToolWindow | fw::kTopmost;
    p.parent = inside ? m_pParent : nullptr;
    p.rect = fw::Rect::FromXYWH(parentWidth - kRightOffset, kTop, m_nWidth, m_nHeight);
    Create(p);
}

CPayWnd::~CPayWnd() {
    Destroy();
    ReleaseHost();  // when the window never came to be
}

int CPayWnd::OnCreate() {
    m_wndBrowser = fw::BrowserControl::Create(*this, kBrowserId, fw::Rect{0, 0, m_nWidth, m_nHeight});
    if (!m_wndBrowser) return -1;  // a payment window without its page would never show
    AttachToControl(m_pHost, m_wndBrowser->GetControlUnknown());
    m_wndBrowser->SetEvents(this);
    m_wndBrowser->SetSilent(true);
    const std::string url = g_pMainWnd ? g_pMainWnd->m_strPayParam : std::string();
    m_wndBrowser->Navigate(url);
    return 0;  // hidden until the page has loaded
}

void CPayWnd::ReleaseHost() {
    if (m_pHost) {
        m_pHost->Release();
        m_pHost = nullptr;
    }
}

void CPayWnd::OnDestroy() {
    ReleaseHost();
    m_wndBrowser.reset();
}

// ---- page -------------------------------------------------------------------------------

void CPayWnd::closedBox() {
    // Posted, so that the page's script call returns before the window goes; with no game
    // window (or one already gone) the request is lost.
    fw::Window* game = g_pMainWnd ? g_pMainWnd->m_pGameWnd : nullptr;
    if (game) fw::Window::Post(game->handle(), WM_PAY_CLOSED);
}

void CPayWnd::DocumentComplete(const std::string& url) {
    (void)url;
    Show(fw::ShowCmd::Show);
}

void CPayWnd::NewWindow3(const std::string& url, bool& cancel) {
    // Pop-ups of the payment page open in the default browser, never inside the client; an
    // address that is not a web address is dropped there.
    cancel = true;
    fw::ShellOpenUrl(url);
}

// ---- keys -------------------------------------------------------------------------------

bool CPayWnd::PreTranslateMessage(const fw::Msg& msg) {
    if (msg.message == fw::WM_KEYDOWN && msg.wParam == fw::VK_ESCAPE) return true;
    if (msg.message == fw::WM_SYSKEYDOWN && msg.wParam == fw::VK_F4) {
        // Alt+F4 asks about quitting the whole client, not about this window.
        CMainWnd::ExitPrompt(g_pMainWnd && g_pMainWnd->IsWindow() ? g_pMainWnd : nullptr);
        return true;
    }
    return false;  // every other key reaches the page as usual
}
