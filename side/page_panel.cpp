#include "side/page_panel.h"

#include "fw/system.h"
#include "shared/exit_prompt.h"

CPagePanel::CPagePanel(fw::Window* parent, ILauncher* launcher, int width, int height, int browserId)
    : m_nWidth(width),
      m_nHeight(height),
      m_pParent(parent),
      m_nBrowserId(browserId),
      m_hParent(parent ? parent->handle() : fw::kNoWindow),
      m_launcher(launcher) {}

CPagePanel::~CPagePanel() {
    Destroy();
    EndPage();  // when the window never came to be
}

void CPagePanel::CreatePanel(fw::Point topLeft) {
    const bool inside = Inside();
    fw::CreateParams p;
    p.style = inside ? fw::kChild | fw::kTopmost : fw::kPopup | fw::kToolWindow | fw::kTopmost;
    p.parent = inside ? m_pParent : nullptr;
    p.rect = fw::Rect::FromXYWH(topLeft.x, topLeft.y, m_nWidth, m_nHeight);
    Create(p);
}

fw::Point CPagePanel::CentredOnParent() const {
    const fw::Rect outer =
        Inside() ? m_pParent->GetWindowRect() : fw::Rect{0, 0, fw::ScreenSize().cx, fw::ScreenSize().cy};
    return {(outer.Width() - m_nWidth) / 2, (outer.Height() - m_nHeight) / 2};
}

int CPagePanel::OnCreate() {
    // A panel without its page would never show.
    if (!m_page.Create(*this, m_nBrowserId, BrowserRect(), this)) return -1;
    browser()->Navigate(PageAddress());
    return 0;  // hidden until the page has loaded
}

void CPagePanel::EndPage() {
    m_recovery.Cancel();
    m_page.End();
}

void CPagePanel::OnDestroy() { EndPage(); }

void CPagePanel::DocumentComplete(const std::string& url) {
    (void)url;
    Show(fw::ShowCmd::Show);
}

void CPagePanel::EngineProcessEnded(fw::EngineExit why) { m_recovery.EngineEnded(why); }

void CPagePanel::OnTimer(unsigned id) { m_recovery.OnTimer(id); }

bool CPagePanel::PreTranslateMessage(const fw::Msg& msg) {
    if (msg.message == fw::WM_KEYDOWN && msg.wParam == fw::VK_ESCAPE) return true;
    if (msg.message == fw::WM_SYSKEYDOWN && msg.wParam == fw::VK_F4) {
        // Alt+F4 asks about quitting the whole client, not about this panel.
        ILauncher* launcher = Launcher();
        shared::ExitPrompt(launcher ? &launcher->LauncherWindow() : nullptr);
        return true;
    }
    return false;  // every other key reaches the page as usual
}

fw::ControlKey CPagePanel::KeyForControl(const fw::Msg& msg) {
    (void)msg;
    return fw::ControlKey::TranslateThenDispatch;
}

void CPagePanel::PostToParent(unsigned msg) const { fw::Window::Post(m_hParent, msg); }
