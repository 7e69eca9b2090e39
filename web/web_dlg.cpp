#include "web/web_dlg.h"

#include "fw/shell.h"
#include "fw/trace.h"
#include "shared/exit_prompt.h"
#include "shared/messages.h"

namespace {

constexpr const char* kPagePath = "/game/s/dmor/?uid=%s&suid=%s";
constexpr const char* kWelcome = "欢迎";
constexpr const char* kJsVoid = "javascript:void(0);";

bool Contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

std::string FormatPagePath(const std::string& uid, const std::string& suid) {
    std::string p = kPagePath;
    p.replace(p.find("%s"), 2, uid);
    p.replace(p.find("%s", p.find("suid=")), 2, suid);
    return p;
}

}  // namespace

CWebDlg::CWebDlg(ILauncher& launcher) : m_launcher(launcher) {}

CWebDlg::~CWebDlg() { *m_alive = false; }

bool CWebDlg::CreateDlg() {
    fw::CreateParams p;
    p.style = fw::kPopup | fw::kToolWindow | fw::kDialog;
    p.parent = &m_launcher.LauncherWindow();
    // The dialog template's 320 x 200 dialog units; the launcher places it at once.
    p.rect = fw::Rect::FromXYWH(0, 0, 480, 325);
    // A failed creation has already destroyed (and deleted) the dialog.
    std::shared_ptr<bool> alive = m_alive;
    bool ok = Create(p);
    return ok && *alive;
}

int CWebDlg::OnCreate() {
    m_rcBrowser = GetClientRect();
    m_rcBrowser.right = m_launcher.WebArea().right - 4;
    m_rcBrowser.bottom = m_launcher.WebArea().bottom;
    if (!m_page.Create(*this, kBrowserId, m_rcBrowser, this, {false})) return -1;

    std::string url =
        shared::HttpAddress(m_launcher.Hosts().portal, FormatPagePath(m_launcher.Uid(), m_launcher.Suid()));
    m_strPageUrl = url;
    ShowPage(url);
    m_bNavigated = true;
    return 0;
}

void CWebDlg::ShowPage(const std::string& url) {
    m_strPageUrl = url;
    if (!IsVisible() && m_bNavigated) return;
    if (browser()) browser()->Navigate(url);
}

void CWebDlg::Refresh() {
    if (browser()) browser()->Refresh();
}

void CWebDlg::RequestPageAgain() {
    if (browser()) browser()->Navigate(m_strPageUrl);
}

void CWebDlg::SetPageState(PageState state) {
    if (m_nPageState == state) return;
    m_nPageState = state;
    if (m_onPageState) m_onPageState();
}

void CWebDlg::RetryNow() {
    if (m_nPageState != PageState::Retrying || !m_bRetryWaiting) return;  // loaded, or a try runs
    KillTimer(IDT_PAGE_RETRY);
    m_bRetryWaiting = false;
    m_retryPause.Reset();
    RequestPageAgain();
}

void CWebDlg::OnTimer(unsigned id) {
    if (m_recovery.OnTimer(id)) return;
    if (id != IDT_PAGE_RETRY) return;
    KillTimer(IDT_PAGE_RETRY);
    if (!m_bRetryWaiting) return;
    m_bRetryWaiting = false;
    if (m_nPageState != PageState::Loaded) RequestPageAgain();
}

void CWebDlg::OnSize(unsigned type, int cx, int cy) {
    (void)type;
    (void)cx;
    (void)cy;
    if (!browser()) return;
    fw::Rect c = GetClientRect();
    m_rcBrowser = {0, 0, c.Width(), c.Height()};
    browser()->Move(m_rcBrowser);
}

void CWebDlg::Close() {
    m_onPageState = nullptr;  // the owner is going
    m_recovery.Cancel();
    m_page.End();
    if (IsWindow()) {
        Destroy();  // deletes this
    } else {
        delete this;
    }
}

void CWebDlg::OnClose() {
    // The dialog is closed by its owner only. A close request from the system (a window
    // manager that takes Alt+F4 for itself) asks about quitting, as Alt+F4 in the page does.
    shared::ExitPrompt(&m_launcher.LauncherWindow());
}

void CWebDlg::OnDestroy() { m_page.End(); }

void CWebDlg::OnNcDestroy() {
    m_launcher.PageDialogDestroyed(*this);
    delete this;
}

// ---- page script ------------------------------------------------------------------------

void CWebDlg::OpenGame(std::string text) {
    fw::TraceMark("open-game");
    std::string url, ignored, server;
    SplitOpenGame(text, url, ignored, server);
    // The game window shows web pages only: a local file or another scheme opens nothing.
    if (!fw::RequireWebAddress(url, "OpenGame")) return;
    m_launcher.SetGameUrl(url);
    m_launcher.SetServerName(server);
    m_launcher.LauncherWindow().Send(WM_OPEN_GAME);
}

void CWebDlg::ShowIM(std::string text) {
    m_launcher.SetImParam(std::move(text));
    m_launcher.LauncherWindow().Post(WM_SHOW_IM);
}

void CWebDlg::openPay(std::string text) { m_launcher.SetPayParam(std::move(text)); }

void CWebDlg::ShowBindBtn() { m_launcher.SetAccountBound(false); }

// ---- browser events ---------------------------------------------------------------------

void CWebDlg::BeforeNavigate2(const std::string& url, bool& cancel) {
    (void)cancel;  // the navigation always proceeds
    m_strLastUrl = url;
    if (Contains(m_strLastUrl, "client = 1") && m_strLastUrl != kJsVoid &&
        fw::RequireWebAddress(m_strLastUrl, "client link")) {
        fw::TraceMark("open-game");
        m_launcher.SetGameUrl(m_strLastUrl);
        m_launcher.LauncherWindow().Send(WM_OPEN_GAME);
    }
}

void CWebDlg::NavigateComplete2(const std::string& url) { m_strLastUrl = url; }

void CWebDlg::NewWindow3(const std::string& url, unsigned flags, bool& cancel) {
    cancel = true;  // never a browser window of the client's own
    m_strLastUrl = url;
    if (Contains(m_strLastUrl, "client=1") && m_strLastUrl != kJsVoid) {
        if (fw::RequireWebAddress(m_strLastUrl, "client link")) m_launcher.SetGameUrl(m_strLastUrl);
        return;
    }
    // Web addresses only, one per click and a few at most in a short time: a page can
    // neither open local files nor flood the desktop with browser windows.
    fw::ShellOpenFromPage(m_strLastUrl, flags);
}

void CWebDlg::NavigateError(const std::string& url) {
    (void)url;
    if (m_nPageState == PageState::Loaded) return;  // a later page's trouble is the page's
    // The launcher page never came: it is asked for again after a pause that grows.
    SetPageState(PageState::Retrying);
    if (m_bRetryWaiting) return;
    m_bRetryWaiting = true;
    SetTimer(IDT_PAGE_RETRY, m_retryPause.Next());
}

void CWebDlg::EngineProcessEnded(fw::EngineExit why) { m_recovery.EngineEnded(why); }

void CWebDlg::DocumentComplete(const std::string& url) {
    (void)url;
    if (!browser()) return;
    if (m_bRetryWaiting) {
        KillTimer(IDT_PAGE_RETRY);
        m_bRetryWaiting = false;
    }
    // The walk may answer later, when the dialog may be gone (while it lives, so does the launcher).
    std::weak_ptr<bool> alive = m_alive;
    ILauncher* launcher = &m_launcher;
    browser()->FindElementText("span", "usr", [alive, launcher](std::optional<std::string> text) {
        auto a = alive.lock();
        if (!a || !*a || !text) return;
        launcher->SetUserName(std::string(kWelcome) + *text);
    });
    if (m_launcher.PageNotShown()) {
        // The page appears with the launcher: a launcher hidden meanwhile (boss key) shows
        // it when it is shown again.
        const fw::Window& owner = m_launcher.LauncherWindow();
        if (owner.IsVisible() && !owner.IsMinimized()) Show(fw::ShowCmd::Show);
        m_launcher.SetPageShown();
    }
    SetPageState(PageState::Loaded);  // the launcher's status line goes
}

// ---- keys -------------------------------------------------------------------------------

bool CWebDlg::PreTranslateMessage(const fw::Msg& msg) {
    if (msg.message == fw::WM_KEYDOWN && msg.wParam == fw::VK_ESCAPE) return true;
    if (msg.message == fw::WM_SYSKEYDOWN && msg.wParam == fw::VK_F4) {
        shared::ExitPrompt(&m_launcher.LauncherWindow());
        return true;
    }
    if (msg.message == fw::WM_KEYDOWN && msg.wParam == fw::VK_F5) return true;
    // Backspace (wParam 8, of any message) is the dialog's own: it goes on to the page
    // without the control's accelerator translation (KeyForControl), so it never takes the
    // page back.
    return false;
}

fw::ControlKey CWebDlg::KeyForControl(const fw::Msg& msg) {
    if (msg.wParam == fw::VK_BACK) return fw::ControlKey::DispatchOnly;
    // Everything else: the control's accelerator translation, whose answer is ignored, and
    // then the page as usual.
    return fw::ControlKey::TranslateThenDispatch;
}
