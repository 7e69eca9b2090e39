// The game window: its making and ending, its actions, sizing, keys, the game page's events
// and the messages it gets. The title bar (CTitleBar) is in title_bar.cpp; the window hands it
// its paint, mouse and timers and carries out what a click on it asks.
#include "game/rudov_game.h"

#include <utility>

#include "fw/message_box.h"
#include "fw/shell.h"
#include "fw/system.h"
#include "game/cache_clear.h"
#include "shared/messages.h"
#include "side/bosskey_dlg.h"
#include "side/jihuo_wnd.h"
#include "side/pay_wnd.h"

namespace {

constexpr const char* kLoadGameMarker = "client://loadgame";

}  // namespace

// ---- construction ---------------------------------------------------------------------

CRudovGame::CRudovGame(ILauncher& launcher) : m_launcher(&launcher) {
    fw::CreateParams p;
    p.style = fw::kPopup | fw::kMinimizeBox | fw::kMaximizeBox;
    Create(p);
}

CRudovGame::~CRudovGame() {
    Destroy();
    ReleaseAll();  // when the window never came to be
}

int CRudovGame::OnCreate() {
    m_bar.LoadPictures();

    const fw::Rect place = StartingPlace();
    m_nWidth = place.Width();
    m_nHeight = place.Height();
    m_bar.SetWidth(m_nWidth);
    SetPos(place);
    SetCaption(kCaption);
    m_vip.ReceiveTexts();  // texts of the customer service come here

    m_rcBrowser = {2, kTitleHeight, m_nWidth - 2, m_nHeight - 2};
    if (!m_page.Create(*this, kBrowserId, m_rcBrowser, this)) return -1;
    const ILauncher* launcher = Launcher();
    NavigateGame(launcher ? launcher->GameUrl() : std::string());
    browser()->Show(true);

    // An account still to be bound: the binding button, animated once the window shows.
    m_bar.ShowBindButton();
    return 0;
}

namespace {

// Whether the window can rest at a place kept from an earlier game window. Not below its
// smallest size, nor beyond the work area of its monitor (one since replaced by a smaller
// one), and its title bar on a monitor (not one since unplugged): the margin is the bar's
// height, so the bar's whole height and as much of its length lie on one monitor, room
// enough to take the window by its bar and drag it.
bool UsableKeptPlace(const fw::Rect& r) {
    if (r.Width() < CRudovGame::kMinWidth || r.Height() < CRudovGame::kMinHeight) return false;
    const fw::Rect work = fw::MonitorWorkArea(r);
    if (r.Width() > work.Width() || r.Height() > work.Height()) return false;
    const fw::Rect bar{r.left, r.top, r.right, r.top + CRudovGame::kTitleHeight};
    return fw::OnSomeMonitor(bar, CRudovGame::kTitleHeight);
}

}  // namespace

fw::Rect CRudovGame::StartingPlace() const {
    if (const ILauncher* launcher = Launcher()) {
        const fw::Rect kept = launcher->GameRect();
        if (UsableKeptPlace(kept)) return kept;
    }
    const fw::Size screen = fw::ScreenSize();
    const int height = screen.cy >= 820 ? 820 : screen.cy - 80;
    const int width = screen.cx >= 1300 ? 1300 : screen.cx;
    return fw::Rect::FromXYWH((screen.cx - width) / 2, (screen.cy - 37 - height) / 2, width, height);
}

// ---- actions --------------------------------------------------------------------------

void CRudovGame::NavigateGame(const std::string& url) {
    // Every way into the game page comes here (the launcher's game address at creation and
    // on F9, client://loadgame): a page cannot show local files in the game window.
    if (!browser() || !fw::RequireWebAddress(url, "game page")) return;
    browser()->Navigate(url);
}

void CRudovGame::ConfirmExit() {
    const fw::Handle launcher = m_launcher.handle();  // this window may be gone when the box returns
    const int answer = fw::MessageBox(fw::kNoWindow, "确定要退出当前正在玩的游戏吗？", "退出提示",
                                      fw::MB_ICONQUESTION | fw::MB_OKCANCEL);
    if (answer == fw::IDOK) fw::Window::Post(launcher, WM_GAME_CLOSED);
}

void CRudovGame::ToggleMaximize() {
    ILauncher* launcher = Launcher();
    const bool maximized = launcher ? launcher->GameMaximized() : IsMaximized();
    if (maximized) {
        if (launcher) launcher->SetGameMaximized(false);
        Send(fw::WM_SYSCOMMAND, fw::SC_RESTORE, 0);
        Invalidate();
    } else {
        Send(fw::WM_SYSCOMMAND, fw::SC_MAXIMIZE, 0);
    }
    if (m_pPayWnd && m_pPayWnd->IsWindow())
        m_pPayWnd->Move(m_nWidth - CPayWnd::kRightOffset, CPayWnd::kTop, CPayWnd::kWidth, CPayWnd::kHeight);
}

void CRudovGame::Minimize() { Send(fw::WM_SYSCOMMAND, fw::SC_MINIMIZE, 0); }

void CRudovGame::OpenPayment() {
    if (m_pPayWnd) return;
    ILauncher* launcher = Launcher();
    if (!launcher) return;
    if (launcher->PayParam().empty()) {
        fw::ShellOpenUrl(shared::PaymentUrl(launcher->Hosts()));
        return;
    }
    auto* pay = new CPayWnd(this, launcher, launcher->PayParam());
    if (!pay->Created()) {
        delete pay;
        return;
    }
    m_pPayWnd = pay;
    pay->Show(fw::ShowCmd::Hide);  // it shows itself once its page has loaded
}

void CRudovGame::OpenBindPage() {
    if (m_pBindWnd) return;
    auto* bind = new CJihuoWnd(this, Launcher());
    if (!bind->Created()) {
        delete bind;
        return;
    }
    m_pBindWnd = bind;
    bind->Show(fw::ShowCmd::Hide);
}

void CRudovGame::OpenBindPageIfUnbound() {
    const ILauncher* launcher = Launcher();
    if (launcher && !launcher->AccountBound()) OpenBindPage();
}

void CRudovGame::RunBossKeyDialog() {
    CBosskey dlg(this, Launcher());
    dlg.DoModal();
}

// ---- sizing ---------------------------------------------------------------------------

void CRudovGame::OnSize(unsigned type, int cx, int cy) {
    // A minimised window keeps the layout of its resting size.
    if (type == fw::SIZE_MINIMIZED) return;
    int width = cx, height = cy;
    if (type == fw::SIZE_MAXIMIZED) {
        // Maximised means over the work area of its monitor, whatever size the system chose.
        const fw::Rect work = fw::MonitorWorkArea(GetWindowRect());
        if (GetWindowRect() != work) SetPos(work, fw::kNoZOrder);
        width = work.Width();
        height = work.Height();
    }
    m_nWidth = width;
    m_nHeight = height;
    if (browser()) {
        m_rcBrowser = {2, kTitleHeight, width - 2, height - 2};
        browser()->Move(m_rcBrowser);
    }
    m_bar.Resize(width);  // the VIP button too, once the customer-service list has been handed over
}

void CRudovGame::OnSysCommand(unsigned cmd, fw::LPARAM lp) {
    DefSysCommand(cmd, lp);
    if (!IsWindow() || (cmd & 0xFFF0) != fw::SC_MAXIMIZE) return;
    if (ILauncher* launcher = Launcher()) launcher->SetGameMaximized(true);
    SetPos(fw::MonitorWorkArea(GetWindowRect()), fw::kNoZOrder);
    Invalidate();
    UpdateNow();
}

int CRudovGame::OnNcHitTest(fw::Point screen) {
    const fw::Point p = ScreenToClient(screen);
    const fw::Rect c = GetClientRect();
    const int R = c.right, B = c.bottom;
    const struct {
        fw::Rect r;
        int hit;
    } borders[] = {
        {{-3, B - 3, 3, B + 2}, fw::HTBOTTOMLEFT},
        {{-3, -3, 3, 3}, fw::HTTOPLEFT},
        {{R - 3, -3, R + 2, 3}, fw::HTTOPRIGHT},
        {{R - 3, B - 3, R + 2, B + 2}, fw::HTBOTTOMRIGHT},
        {{-3, -3, 3, B}, fw::HTLEFT},
        {{-3, -3, R, 4}, fw::HTTOP},
        {{-3, B - 3, R, B}, fw::HTBOTTOM},
        {{R - 3, -3, R, B}, fw::HTRIGHT},
    };
    for (const auto& b : borders)
        if (b.r.Contains(p)) return b.hit;
    return fw::HTCLIENT;
}

void CRudovGame::OnNcLButtonDown(int hit, fw::Point screen) {
    const ILauncher* launcher = Launcher();
    if (launcher ? launcher->GameMaximized() : IsMaximized()) return;
    static const struct {
        int hit;
        unsigned cmd;
    } kSizes[] = {
        {fw::HTTOP, 0xF003},     {fw::HTBOTTOM, 0xF006},   {fw::HTLEFT, 0xF001},       {fw::HTRIGHT, 0xF002},
        {fw::HTTOPLEFT, 0xF004}, {fw::HTTOPRIGHT, 0xF005}, {fw::HTBOTTOMLEFT, 0xF007}, {fw::HTBOTTOMRIGHT, 0xF008},
    };
    for (const auto& s : kSizes) {
        if (s.hit == hit) {
            Send(fw::WM_SYSCOMMAND, s.cmd, fw::MakePointParam(screen.x, screen.y));
            return;
        }
    }
    fw::Window::OnNcLButtonDown(hit, screen);
}

bool CRudovGame::OnSetCursor(int hit) {
    fw::Cursor c = fw::Cursor::Arrow;
    switch (hit) {
    case fw::HTTOP:
    case fw::HTBOTTOM: c = fw::Cursor::SizeNS; break;
    case fw::HTLEFT:
    case fw::HTRIGHT: c = fw::Cursor::SizeWE; break;
    case fw::HTTOPLEFT:
    case fw::HTBOTTOMRIGHT: c = fw::Cursor::SizeNWSE; break;
    case fw::HTTOPRIGHT:
    case fw::HTBOTTOMLEFT: c = fw::Cursor::SizeNESW; break;
    default: break;
    }
    SetCursor(c);
    return true;
}

void CRudovGame::OnGetMinMaxInfo(fw::Size& minTrack) { minTrack = {kMinWidth, kMinHeight}; }

// ---- the title bar --------------------------------------------------------------------

void CRudovGame::OnPaint(fw::Canvas& canvas) { m_bar.Paint(canvas); }
void CRudovGame::OnMouseMove(fw::Point p) { m_bar.OnMouseMove(p); }
void CRudovGame::OnMouseLeave() { m_bar.OnMouseLeave(); }
void CRudovGame::OnLButtonDown(fw::Point p) { OnTitleBarClick(m_bar.OnLButtonDown(p)); }
void CRudovGame::OnLButtonUp(fw::Point p) { OnTitleBarClick(m_bar.OnLButtonUp(p)); }
void CRudovGame::OnLButtonDblClk(fw::Point p) { OnTitleBarClick(m_bar.OnLButtonDblClk(p)); }

void CRudovGame::OnTitleBarClick(CTitleBar::Click click) {
    using Click = CTitleBar::Click;
    switch (click) {
    case Click::None: break;
    case Click::Exit: ConfirmExit(); break;
    case Click::Minimize: Minimize(); break;
    case Click::ToggleMaximize: ToggleMaximize(); break;
    case Click::ClearCache: StartClearing(); break;
    case Click::BossKey: RunBossKeyDialog(); break;
    case Click::Vip: m_vip.OnButtonPressed(); break;
    case Click::Pay: OpenPayment(); break;
    case Click::BindAccount: OpenBindPageIfUnbound(); break;
    }
}

// ---- keys -----------------------------------------------------------------------------

bool CRudovGame::PreTranslateMessage(const fw::Msg& msg) {
    if (msg.message == fw::WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == fw::SC_MINIMIZE) {
        Show(fw::ShowCmd::Minimize);
        return true;
    }
    if (msg.message == fw::WM_KEYDOWN) {
        if (msg.wParam == fw::VK_ESCAPE) return true;  // the page never sees Escape
        if (msg.wParam == fw::VK_F9 && browser()) {
            // The game page again from the launcher's game address, wherever it went since.
            if (const ILauncher* launcher = Launcher()) NavigateGame(launcher->GameUrl());
        }
    }
    return false;
}

void CRudovGame::OnKeyDown(unsigned vk, bool sys) {
    // Alt+F4 is the system's close command (the launcher then learns of the close).
    if (sys && vk == fw::VK_F4) Send(fw::WM_SYSCOMMAND, fw::SC_CLOSE, 0);
}

// ---- browser events -------------------------------------------------------------------

void CRudovGame::BeforeNavigate2(const std::string& url, bool& cancel) {
    (void)cancel;  // the navigation in progress goes on
    const std::size_t marker = url.find(kLoadGameMarker);
    if (marker == std::string::npos) return;
    // The game address follows the marker; without one there is nothing to load. (Only the
    // text after the marker counts, so an address that carries the marker in its query
    // cannot make the page load itself over and over.)
    const std::size_t http = url.find("http:", marker);
    if (http == std::string::npos) return;
    NavigateGame(url.substr(http));
}

void CRudovGame::DocumentComplete(const std::string& url) {
    (void)url;
    fw::TrimOwnWorkingSet();  // every completed document, frames included
}

void CRudovGame::EngineProcessEnded(fw::EngineExit why) { m_recovery.EngineEnded(why); }

void CRudovGame::NewWindow3(const std::string& url, unsigned flags, bool& cancel) {
    // One click cannot fill the desktop with windows over the game's title bar.
    cancel = !fw::PageMayOpenWindow(url, flags, "game page's new window");
}

// ---- timers ---------------------------------------------------------------------------

void CRudovGame::OnTimer(unsigned id) {
    switch (id) {
    case IDT_BIND_ANIMATION:
    case IDT_BIND_WAIT_VISIBLE:
    case IDT_BIND_SLOT:
    case IDT_SPINNER: m_bar.OnTimer(id); break;
    case IDT_GAME_RECOVERY: m_recovery.OnTimer(id); break;
    case IDT_BLINK_WAIT_VISIBLE:
    case IDT_VIP_BLINK: m_vip.OnTimer(id); break;
    default: break;
    }
}

// ---- cache clearing -------------------------------------------------------------------

void CRudovGame::StartClearing() {
    if (m_bClearing) return;
    m_bClearing = true;
    m_bar.SetClearing(true);  // the clearing picture, the spinner
    // Where the URL cache can be emptied off the UI thread (Windows), the worker does every
    // step in the designed order: trim, URL cache, cache folder, pause, report; the window
    // keeps handling its messages (and the spinner turning) meanwhile.
    if (UrlCacheClearsOnWorker()) {
        m_clear.Start(handle(), fw::BrowserCacheFolder(), true);
        return;
    }
    // Elsewhere the engine's data first (it answers on the UI thread, possibly later), then
    // the rest on a worker. A window closed meanwhile is found gone by its handle.
    const fw::Handle self = handle();
    ClearUrlCache([self] {
        if (auto* game = dynamic_cast<CRudovGame*>(fw::Window::FromHandle(self))) game->StartClearWorker();
    });
}

void CRudovGame::StartClearWorker() {
    if (m_bClearing) m_clear.Start(handle(), fw::BrowserCacheFolder());
}

void CRudovGame::OnClearingDone() {
    m_bClearing = false;
    m_bar.SetClearing(false);  // the spinner finishes its cycle, then the idle picture returns
    m_clear.Done();
    // A new clearing may start while this message is up. Nothing of the window is touched
    // after the box: it may have been closed meanwhile.
    fw::MessageBox(fw::kNoWindow, "清除缓存成功", "清除提示", fw::MB_OK);
}

fw::LRESULT CRudovGame::OnMessage(unsigned msg, fw::WPARAM wp, fw::LPARAM lp) {
    (void)lp;
    switch (msg) {
    case WM_CLEAR_DONE: OnClearingDone(); break;
    case WM_CLEAR_FAILED: fw::MessageBox(fw::kNoWindow, "清除失败", "RaduVove", fw::MB_OK | fw::MB_ICONWARNING); break;
    case WM_PAY_CLOSED:
    case WM_BIND_CLOSED: CloseSideWindow(msg); break;
    case WM_IM_ARRIVED: m_vip.OnImArrived(); break;
    case WM_SHOW_VIP: m_vip.OnShowVip(wp != 0 ? 1 : 0); break;
    case WM_VIP_NOTIFY: m_vip.OnVipNotify(); break;
    default: break;
    }
    return 0;
}

void CRudovGame::CloseSideWindow(unsigned msg) {
    // The side windows never end themselves: they ask, and the game window closes them.
    fw::Window* side = nullptr;
    if (msg == WM_PAY_CLOSED) side = std::exchange(m_pPayWnd, nullptr);
    if (msg == WM_BIND_CLOSED) side = std::exchange(m_pBindWnd, nullptr);
    if (!side) return;
    side->Send(fw::WM_CLOSE);
    delete side;
}

// ---- closing --------------------------------------------------------------------------

void CRudovGame::StopWorkers() {
    m_vip.Stop();  // the blink; the heartbeat's workers end at once, in a pause or a request alike
    m_clear.Stop();
}

void CRudovGame::ReleaseAll() {
    StopWorkers();
    m_recovery.Cancel();
    m_bar.Release();  // its timers and animations, pictures, the boss-key hint
    m_page.End();
}

void CRudovGame::OnClose() {
    ReleaseAll();
    Destroy();
}

void CRudovGame::OnShowWindow(bool show) {
    if (show) m_bShown = true;
}

void CRudovGame::OnDestroy() {
    ReleaseAll();
    if (CPayWnd* pay = m_pPayWnd) {
        m_pPayWnd = nullptr;
        delete pay;
    }
    if (CJihuoWnd* bind = m_pBindWnd) {
        m_pBindWnd = nullptr;
        delete bind;
    }
    m_vip.Close();  // the VIP window; later texts find no window
    ILauncher* launcher = Launcher();
    if (!launcher) return;
    if (m_bShown) launcher->SetGameRect(GetRestoredRect());
    // Closed some other way than by the launcher (Alt+F4, the system's close): the launcher,
    // which still holds this window, hears of it as if the user had left the game. (The
    // launcher lets go of the window before it closes it itself.)
    launcher->GameWindowDestroyed(*this);
}
