#include "side/vipmsg_wnd.h"

#include <vector>

#include "fw/shell.h"
#include "shared/messages.h"
#include "shared/resource.h"

namespace {

constexpr const char* kOnline = "在线";
constexpr std::uint32_t kTitleColour = 0xFF000000;

}  // namespace

CVipmsgWnd::CVipmsgWnd(fw::Window* parent, ILauncher* launcher, const std::string& address, bool showWhenLoaded,
                       std::function<void()> agentOffline)
    : CPagePanel(parent, launcher, kWidth, kHeight, kBrowserId),
      m_strAddress(address),
      m_bShowWhenLoaded(showWhenLoaded),
      m_agentOffline(std::move(agentOffline)) {
    // Centred on the game window's outer size, above everything else in it.
    CreatePanel(CentredOnParent());
}

CVipmsgWnd::~CVipmsgWnd() { Destroy(); }

int CVipmsgWnd::OnCreate() {
    ui::LoadSkinImage(shared::IDB_VIP_LOGO, m_pLogo);
    ui::LoadSkinImage(shared::IDB_VIP_CLOSE, m_btnClose.image);
    ui::LoadSkinImage(shared::IDB_VIP_TITLE, m_pTitleBar);
    const int crossWidth = m_btnClose.image ? m_btnClose.image->width() : 0;
    m_btnClose.rect = {kWidth - crossWidth, 2, kWidth, 22};
    m_bTitleFace = m_fontTitle.Exists();
    SetCaption(m_strTitle);
    // The chat page: a web address only, however the library came by it.
    if (!fw::RequireWebAddress(m_strAddress, "VIP window")) return -1;
    return CPagePanel::OnCreate();
}

void CVipmsgWnd::OnDestroy() {
    m_pLogo.reset();
    m_pTitleBar.reset();
    m_btnClose.image.reset();
    CPagePanel::OnDestroy();
}

// ---- the title ----------------------------------------------------------------------------

std::optional<CVipmsgWnd::TopInfo> CVipmsgWnd::TitleFromTopInfo(const std::string& text) {
    const std::size_t bar = text.find('|');
    if (bar == std::string::npos) return std::nullopt;
    const std::string name = text.substr(0, bar);
    const std::size_t next = text.find('|', bar + 1);
    const std::string status = text.substr(bar + 1, next == std::string::npos ? std::string::npos : next - bar - 1);
    TopInfo info;
    info.title = name.find("undefined") != std::string::npos ? "客服不在线" : name;
    info.online = status.rfind(kOnline, 0) == 0;
    info.title = info.online ? "我正在和[" + info.title + "]聊天" : info.title + "[离线]";
    return info;
}

void CVipmsgWnd::DialogBoxTopInfo(std::string text) {
    if (const std::optional<TopInfo> info = TitleFromTopInfo(text)) {
        // Each report makes the title anew from its own fields. The window's caption, which
        // nobody sees on a frameless tool window, carries it too (for assistive tools).
        m_strTitle = info->title;
        SetCaption(m_strTitle);
        if (!info->online && m_agentOffline) m_agentOffline();
    }
    Invalidate();
}

// ---- keys ---------------------------------------------------------------------------------

fw::ControlKey CVipmsgWnd::KeyForControl(const fw::Msg& msg) {
    if (msg.wParam == fw::VK_BACK) return fw::ControlKey::DispatchOnly;
    if (msg.wParam == fw::VK_RETURN) return fw::ControlKey::TranslateOnly;
    return CPagePanel::KeyForControl(msg);
}

// ---- what the page asks ---------------------------------------------------------------------

void CVipmsgWnd::API_close() { PostToParent(WM_VIP_NOTIFY); }

void CVipmsgWnd::DocumentComplete(const std::string& url) {
    (void)url;
    // Opened because a message arrived, the window waits hidden with its page loaded until
    // the game window shows it.
    if (m_bShowWhenLoaded) Show(fw::ShowCmd::Show);
}

void CVipmsgWnd::NewWindow3(const std::string& url, unsigned flags, bool& cancel) {
    // Pop-ups of the chat open in the default browser: web addresses only, one per click.
    cancel = true;
    fw::ShellOpenFromPage(url, flags);
}

void CVipmsgWnd::WindowClosing(bool& cancel) {
    // The page's browser window stays; closing it is a request to close this window.
    cancel = true;
    PostToParent(WM_VIP_NOTIFY);
}

// ---- painting and the mouse -----------------------------------------------------------------

void CVipmsgWnd::OnPaint(fw::Canvas& canvas) {
    // The title bar only: the chat page covers the rest.
    if (m_pTitleBar && m_pTitleBar->valid())
        canvas.DrawImage(m_pTitleBar.get(), {0, 0, kWidth, kTitleHeight}, {0, 0, m_pTitleBar->width(), 47});
    canvas.DrawImage(m_pLogo.get(), fw::Rect::FromXYWH(10, 1, 22, 26), {0, 0, 39, 47});
    ui::DrawSlice(canvas, m_btnClose.image.get(), m_btnClose.rect, m_btnClose.state, ui::Strip::Vertical);
    // Nothing clips the title: a long one runs over the cross.
    if (m_bTitleFace) canvas.DrawText(m_strTitle, m_fontTitle, kTitleColour, fw::Point{35, 10});
}

void CVipmsgWnd::InvalidateClose() { Invalidate(&m_btnClose.rect); }

void CVipmsgWnd::OnMouseMove(fw::Point p) {
    std::vector<ui::SkinButton*> buttons{&m_btnClose};
    for (const fw::Rect& r : ui::SkinButtonsMouseMove(buttons, p)) Invalidate(&r);
}

void CVipmsgWnd::OnLButtonDown(fw::Point p) {
    if (!m_btnClose.rect.Contains(p)) {
        ReleaseCapture();
        Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
        return;
    }
    if (m_btnClose.state == 1) {
        m_btnClose.state = 2;
        InvalidateClose();
    }
}

void CVipmsgWnd::OnLButtonUp(fw::Point p) {
    if (!m_btnClose.rect.Contains(p)) return;
    // A release on the cross closes, whether or not the press began there.
    m_btnClose.state = 0;
    InvalidateClose();
    PostToParent(WM_VIP_NOTIFY);
}
