#include "app/main_wnd.h"

#include <algorithm>

#include "app/ini_location.h"
#include "app/static_ini.h"
#include "fw/bridge_origin.h"
#include "fw/hotkey.h"
#include "fw/resources.h"
#include "fw/shell.h"
#include "fw/system.h"
#include "fw/trace.h"
#include "fw/tray.h"
#include "game/rudov_game.h"
#include "shared/exit_prompt.h"
#include "shared/messages.h"
#include "shared/resource.h"
#include "ui/skin.h"
#include "web/web_dlg.h"

namespace {

constexpr const char* kCaption = "LumoDrakmoor";

// The buttons' pictures, in the layout's order (shared/launcher_layout.h: close, minimise,
// official site, payment, customer service, forum), which is that of drawing and hit-testing.
constexpr int kButtonPictures[CMainWnd::kButtonCount] = {
    shared::IDB_LAUNCHER_CLOSE, shared::IDB_LAUNCHER_MIN,     shared::IDB_LAUNCHER_OFFICIAL,
    shared::IDB_LAUNCHER_PAY,   shared::IDB_LAUNCHER_SERVICE, shared::IDB_LAUNCHER_FORUM,
};

}  // namespace

CMainWnd::CMainWnd(int startMode) {
    m_bWebDlgCreated = startMode == kNormalStart;
    fw::CreateParams p;
    p.caption = "RaduVove";
    p.style = fw::kPopup | fw::kLayered | fw::kMinimizeBox | fw::kMaximizeBox;
    Create(p);
}

CMainWnd::~CMainWnd() { Destroy(); }

int CMainWnd::OnCreate() {
    m_strModuleDir = ui::GetModuleDir();

    auto icon = fw::FindResource(shared::IDI_APP, "ICON");
    if (!icon.empty()) {
        m_hIcon = fw::Image::FromPng(icon);
        if (m_hIcon && m_hIcon->valid()) SetIcon(m_hIcon.get());
    }

    // Without its background the launcher has no size and no shape: it cannot exist.
    if (!LoadSkin()) return -1;
    SetGeometry();

    fw::Size screen = fw::ScreenSize();
    int x = (screen.cx - m_nWidth) / 2;
    int y = (screen.cy - m_nHeight) / 2;
    SetPos(fw::Rect::FromXYWH(x, y, m_nWidth, m_nHeight), fw::kTopOfZOrder);

    SetCaption(kCaption);
    DrawSkin();

    m_strIniPath = app::StaticIniPath(m_strModuleDir);
    app::StaticIniValues ini = app::ReadStaticIni(m_strIniPath);
    m_strHotKeyName = ini.hotKeyName;
    m_dwHotKey = ini.hotKey;
    m_strUid = ini.uid;
    m_strSuid = ini.suid;
    m_hosts = ini.hosts;
    if (ini.gameRect) m_rcGameRect = *ini.gameRect;
    if (ini.gameMaximized) m_bGameMaximized = *ini.gameMaximized;
    // Frames of the platform's own sites keep the script bridge inside any client page.
    fw::SetBridgeHosts({m_hosts.portal, m_hosts.game, m_hosts.pay, m_hosts.forum, m_hosts.cs});

    AddTrayIcon();
    RegisterBossKey();
    if (m_bWebDlgCreated) CreateWebDlg();
    return 0;
}

// ---- skin ----------------------------------------------------------------------------

namespace {
// Loading order of the buttons: close, minimise, official site, customer service, payment,
// forum.
constexpr CMainWnd::Button kLoadOrder[] = {CMainWnd::kClose,   CMainWnd::kMin, CMainWnd::kOfficial,
                                           CMainWnd::kService, CMainWnd::kPay, CMainWnd::kForum};
}  // namespace

std::vector<int> CMainWnd::SkinPictures() {
    std::vector<int> ids{shared::IDB_LAUNCHER_BG};
    for (Button b : kLoadOrder) ids.push_back(kButtonPictures[b]);
    return ids;
}

bool CMainWnd::LoadSkin() {
    ui::LoadSkinImage(shared::IDB_LAUNCHER_BG, m_pBackground);
    if (!m_pBackground || !m_pBackground->valid()) return false;
    for (Button b : kLoadOrder) ui::LoadSkinImage(kButtonPictures[b], m_pImage[b]);
    m_nWidth = m_pBackground->width();
    m_nHeight = m_pBackground->height();
    m_bmBackground.Resize(m_nWidth, m_nHeight);
    fw::Canvas c(m_bmBackground);
    ui::DrawImageStretched(m_pBackground.get(), c, 0, 0, m_nWidth, m_nHeight);
    // The web area as the skin has it, for the status line to be drawn over again.
    const fw::Rect area = m_rcWebArea.Intersect(fw::Rect{0, 0, m_nWidth, m_nHeight});
    m_webAreaPixels.clear();
    for (int y = area.top; y < area.bottom; ++y) {
        const std::uint32_t* row = m_bmBackground.data() + static_cast<std::size_t>(y) * m_nWidth;
        m_webAreaPixels.insert(m_webAreaPixels.end(), row + area.left, row + area.right);
    }
    return true;
}

void CMainWnd::DrawPageStatus() {
    const fw::Rect area = m_rcWebArea.Intersect(fw::Rect{0, 0, m_bmBackground.width(), m_bmBackground.height()});
    if (area.IsEmpty() || m_webAreaPixels.size() != static_cast<std::size_t>(area.Width()) * area.Height()) return;
    for (int y = area.top; y < area.bottom; ++y)
        std::copy_n(m_webAreaPixels.data() + static_cast<std::size_t>(y - area.top) * area.Width(), area.Width(),
                    m_bmBackground.data() + static_cast<std::size_t>(y) * m_bmBackground.width() + area.left);
    fw::Canvas c(m_bmBackground);
    ui::DrawStatusLine(c, area, m_strPageStatus);
}

void CMainWnd::OnTimer(unsigned id) {
    if (id != IDT_PAGE_STATUS) return;
    KillTimer(IDT_PAGE_STATUS);
    m_bConnectingDue = true;
    OnPageState();
}

void CMainWnd::OnPageState() {
    std::string status;
    if (m_pWebDlg) {
        switch (m_pWebDlg->pageState()) {
        case CWebDlg::PageState::Connecting: status = m_bConnectingDue ? kConnectingText : ""; break;
        case CWebDlg::PageState::Retrying: status = kRetryingText; break;
        case CWebDlg::PageState::Loaded: KillTimer(IDT_PAGE_STATUS); break;
        }
    }
    if (status == m_strPageStatus) return;
    m_strPageStatus = status;
    DrawPageStatus();
    DrawSkin();
}

void CMainWnd::SetGeometry() {
    for (int i = 0; i < kButtonCount; ++i) {
        m_rcButton[i] = shared::launcher_layout::kButtons[i].rect;
        m_nState[i] = 0;
    }
    m_rcWebArea = shared::launcher_layout::kWebArea;
}

void CMainWnd::DrawSkin() {
    if (!m_pBackground) return;
    // The background never changes: it is composed once and copied; the buttons go on top.
    m_bmFrame.CopyFrom(m_bmBackground);
    fw::Canvas c(m_bmFrame);
    for (int i = 0; i < kButtonCount; ++i) {
        if (!m_pImage[i]) continue;
        ui::DrawSlice(c, m_pImage[i].get(), m_rcButton[i], m_nState[i], ui::Strip::Vertical);
    }
    UpdateLayered(m_bmFrame);
    ++m_nDrawCount;
}

void CMainWnd::ReleaseSkin() {
    m_pBackground.reset();
    for (auto& img : m_pImage) img.reset();
}

int CMainWnd::ButtonAt(fw::Point p) const {
    for (int i = 0; i < kButtonCount; ++i)
        if (m_rcButton[i].Contains(p)) return i;
    return -1;
}

void CMainWnd::SetHover(int button) {
    bool changed = false;
    for (int i = 0; i < kButtonCount; ++i) {
        int want = i == button ? 1 : 0;
        if (m_nState[i] != want) {
            m_nState[i] = want;
            changed = true;
        }
    }
    // A move that changes no state leaves the picture as it is.
    if (changed) DrawSkin();
}

void CMainWnd::OnMouseMove(fw::Point p) {
    int b = ButtonAt(p);
    if (b == kClose || b == kMin) {
        if (m_nState[b] == 0) SetHover(b);
        SetCursor(fw::Cursor::Hand);
    } else if (b >= 0) {
        if (m_nState[b] == 0) SetHover(b);
    } else {
        SetHover(-1);
    }
}

// Alt+F4 with the keys on the launcher itself (its skin has them after a click on it, or when
// it comes back after a game) asks as the close button does, rather than closing the client
// unasked; the system's close from outside (the taskbar) still closes it at once.
bool CMainWnd::PreTranslateMessage(const fw::Msg& msg) {
    if (msg.message != fw::WM_SYSKEYDOWN || msg.wParam != fw::VK_F4) return false;
    shared::ExitPrompt(this);
    return true;
}

void CMainWnd::OnLButtonDown(fw::Point p) {
    if (ButtonAt(p) >= 0) return;
    // Any part of the skin that is not a button drags the window.
    ReleaseCapture();
    Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
}

void CMainWnd::OnLButtonUp(fw::Point p) {
    int b = ButtonAt(p);
    if (b == kClose) {
        m_nState[kClose] = 0;
        DrawSkin();
        shared::ExitPrompt(this);
        return;
    }
    if (b < 0 || m_nState[b] != 1) return;
    m_nState[b] = 0;
    DrawSkin();
    if (b == kMin) {
        Send(fw::WM_SYSCOMMAND, fw::SC_MINIMIZE, 0);
        return;
    }
    OpenLink(b);
}

void CMainWnd::OpenLink(int button) {
    std::string url;
    switch (button) {
    case kOfficial: url = shared::OfficialSiteUrl(m_hosts); break;
    case kPay: url = shared::PaymentUrl(m_hosts); break;
    case kForum: url = shared::ForumUrl(m_hosts); break;
    case kService: url = shared::ServiceUrl(m_hosts); break;
    default: return;
    }
    fw::ShellOpenUrl(url);
}

// ---- tray and boss key ---------------------------------------------------------------

void CMainWnd::AddTrayIcon() {
    m_bTrayAdded = fw::TrayAdd(handle(), kTrayIconId, WM_TRAY_NOTIFY, m_hIcon.get(), kCaption);
    if (m_bTrayAdded) fw::TraySetMenu(handle(), kTrayIconId, shared::LoadTrayMenu());
}

void CMainWnd::RemoveTrayIcon() {
    if (m_bTrayAdded) fw::TrayDelete(handle(), kTrayIconId);
    m_bTrayAdded = false;
}

void CMainWnd::OnTrayNotify(fw::LPARAM mouseMsg) {
    if (mouseMsg == fw::WM_LBUTTONDBLCLK) {
        Show(IsMinimized() ? fw::ShowCmd::Restore : fw::ShowCmd::Show);
        SetForeground();
    } else if (mouseMsg == fw::WM_RBUTTONDOWN) {
        std::vector<fw::MenuItem> menu = shared::LoadTrayMenu();
        fw::Point at = fw::GetCursorPos();
        SetForeground();
        fw::TrackPopupMenu(handle(), menu, at);
    }
}

unsigned CMainWnd::HotKeyModifiers(std::int32_t code) {
    unsigned flags = (static_cast<std::uint32_t>(code) >> 16) & 0xFF;
    unsigned mods = 0;
    if (flags & 4) mods |= fw::MOD_ALT;
    if (flags & 2) mods |= fw::MOD_CONTROL;
    if (flags & 1) mods |= fw::MOD_SHIFT;
    return mods;
}

void CMainWnd::RegisterBossKey() {
    if (m_dwHotKey == -1) return;
    // A key another program holds stays unregistered, without a message. One that another
    // running client holds makes this client one of its group: a press hides and shows both.
    fw::JoinHotKeyGroup(handle(), IDH_BOSSKEY, HotKeyModifiers(m_dwHotKey), HotKeyVk(m_dwHotKey));
}

bool CMainWnd::ChangeBossKey(std::int32_t code, const std::string& name) {
    fw::LeaveHotKeyGroup(handle(), IDH_BOSSKEY);
    if (fw::JoinHotKeyGroup(handle(), IDH_BOSSKEY, HotKeyModifiers(code), HotKeyVk(code)) == fw::HotKeyRole::Refused) {
        // Refused: the old key goes back, so that it keeps working while the launcher still
        // names it.
        RegisterBossKey();
        return false;
    }
    m_dwHotKey = code;
    m_strHotKeyName = name;
    return true;
}

// The press reaches the one client that holds the key; it tells every client of its group
// what to do, itself included: hide while any of them shows a window, else show again.
void CMainWnd::OnHotKey(int id) {
    if (id != IDH_BOSSKEY) return;
    const bool shown = fw::HotKeyGroupShown(handle(), IDH_BOSSKEY);
    fw::TellHotKeyGroup(handle(), IDH_BOSSKEY, shown ? kBossKeyHide : kBossKeyShow);
}

void CMainWnd::OnBossKey(fw::LPARAM what) {
    if (what == kBossKeyHide) {
        fw::TraceMark("boss-key-hide");
        // Also what came back meanwhile by other means (the tray icon) while the rest stays
        // hidden: it goes again, and comes back with the rest.
        m_hiddenByBossKey.Add(fw::HiddenWindows::HideAll());
        // Silent while hidden: music playing on gives the player away.
        if (!m_hiddenByBossKey.empty()) fw::MuteAllPages(true);
        return;
    }
    if (what != kBossKeyShow) return;
    fw::TraceMark("boss-key-show");
    if (!m_hiddenByBossKey.empty()) {
        m_hiddenByBossKey.Restore();
        fw::MuteAllPages(false);
        return;
    }
    // Nothing of this client was hidden by the key (a hidden start): it shows the window in use.
    fw::Window* game = m_pGameWnd;
    fw::Window* target = game && game->IsWindow() ? game : this;
    if (target->IsVisible()) return;
    target->Show(fw::ShowCmd::Show);
    target->SetForeground();
}

void CMainWnd::OnCommand(unsigned id) {
    if (id == shared::ID_TRAY_EXIT) Send(fw::WM_CLOSE);
}

fw::LRESULT CMainWnd::OnMessage(unsigned msg, fw::WPARAM wp, fw::LPARAM lp) {
    switch (msg) {
    case WM_TRAY_NOTIFY: OnTrayNotify(lp); break;
    case WM_OPEN_GAME: OnOpenGame(); break;
    case WM_GAME_CLOSED: OnGameClosed(); break;
    case WM_SHOW_IM: OnShowIm(); break;
    case WM_PAGE_STATE: OnPageState(); break;
    case fw::WM_HOTKEY_GROUP:
        if (wp == IDH_BOSSKEY) OnBossKey(lp);
        break;
    default: break;
    }
    return 0;
}

// ---- page dialog ----------------------------------------------------------------------

void CMainWnd::CreateWebDlg() {
    auto* dlg = new CWebDlg(*this);
    dlg->SetPageStateListener([this] { Post(WM_PAGE_STATE); });
    // A dialog whose control could not be made has deleted itself: no page dialog then.
    if (!dlg->CreateDlg()) return;
    m_pWebDlg = dlg;
    SetTimer(IDT_PAGE_STATUS, kConnectingDelayMs);
    dlg->SetFocus();
    // Creation sends no later move notification here, so the dialog is placed at once.
    PlaceWebDlg();
    dlg->Show(fw::ShowCmd::Hide);
}

void CMainWnd::PlaceWebDlg() {
    if (!m_pWebDlg || !m_pWebDlg->IsWindow()) return;
    fw::Rect r = GetWindowRect();
    m_pWebDlg->SetPos(fw::Rect::FromXYWH(r.left + m_rcWebArea.left, r.top + m_rcWebArea.top, m_rcWebArea.Width(),
                                         m_rcWebArea.Height()),
                      fw::kNoZOrder);
}

void CMainWnd::PageDialogDestroyed(fw::Window& dialog) {
    if (m_pWebDlg == &dialog) m_pWebDlg = nullptr;
}

void CMainWnd::OnMove(fw::Point topLeft) {
    (void)topLeft;
    PlaceWebDlg();
}

void CMainWnd::OnShowWindow(bool show) {
    if (!m_bWebDlgCreated) {
        m_bWebDlgCreated = true;
        CreateWebDlg();
    }
    if (!m_pWebDlg) return;
    // A page that could not be loaded yet is tried again at once when the launcher comes up.
    if (show) m_pWebDlg->RetryNow();
    if (show && !m_bPageNotShown) {
        PlaceWebDlg();
        m_pWebDlg->Show(fw::ShowCmd::Show);
    } else {
        m_pWebDlg->Show(fw::ShowCmd::Hide);
    }
}

void CMainWnd::OnSize(unsigned type, int cx, int cy) {
    (void)cx;
    (void)cy;
    // Restored (from the taskbar or the tray): the page comes back with the launcher, also
    // when it loaded while the launcher was minimised and so could not show itself then.
    if (type == fw::SIZE_MINIMIZED || m_bPageNotShown || !m_pWebDlg || !IsVisible()) return;
    if (m_pWebDlg->IsVisible()) return;
    PlaceWebDlg();
    m_pWebDlg->Show(fw::ShowCmd::Show);
}

// ---- the game -------------------------------------------------------------------------

namespace {
CMainWnd::GameWindowFactory g_gameFactory = nullptr;
fw::Window* MakeGameWindow(ILauncher& launcher) { return new CRudovGame(launcher); }
}  // namespace

void CMainWnd::SetGameWindowFactory(GameWindowFactory f) { g_gameFactory = f; }

void RegisterGameWindow() { CMainWnd::SetGameWindowFactory(&MakeGameWindow); }

void CMainWnd::OnOpenGame() {
    // The game window shows web pages only; nothing opens for anything else.
    if (!fw::RequireWebAddress(m_strGameUrl, "game window")) return;
    if (!m_pGameWnd) {
        fw::Window* game = g_gameFactory ? g_gameFactory(*this) : nullptr;
        if (!game || !game->IsWindow()) {
            // No game window could be made: the launcher stays as it is.
            delete game;
            return;
        }
        fw::TraceMark("game-created");
        m_pGameWnd = game;
        if (m_bGameMaximized) m_pGameWnd->Send(fw::WM_SYSCOMMAND, fw::SC_MAXIMIZE, 0);
        m_pGameWnd->Show(fw::ShowCmd::Show);
        fw::TraceMark("game-shown");
    }
    Show(fw::ShowCmd::Hide);
}

void CMainWnd::OnShowIm() {
    // The launcher page's customer-service list goes to the game window; without a game
    // window (or without a list) the request is dropped.
    if (m_strImParam.empty()) return;
    if (auto* game = dynamic_cast<CRudovGame*>(m_pGameWnd)) game->StartServices(std::string(m_strImParam));
}

void CMainWnd::GameWindowDestroyed(fw::Window& game) {
    if (m_pGameWnd == &game) Post(WM_GAME_CLOSED);
}

void CMainWnd::SetGameRect(const fw::Rect& rect) {
    m_rcGameRect = rect;
    // Kept for the next start as well; where static.ini cannot be written the place lasts
    // for this run only.
    app::WriteGamePlace(m_strIniPath, rect, m_bGameMaximized);
}

void CMainWnd::CloseGameWindow() {
    if (!m_pGameWnd) return;
    fw::Window* game = m_pGameWnd;
    m_pGameWnd = nullptr;
    game->Send(fw::WM_CLOSE);
    delete game;
}

void CMainWnd::OnGameClosed() {
    CloseGameWindow();
    if (m_pWebDlg) m_pWebDlg->Refresh();
    Show(fw::ShowCmd::Show);
    SetForeground();
}

// ---- exit ------------------------------------------------------------------------------

void CMainWnd::OnClose() {
    CloseGameWindow();  // it keeps its place as it goes
    RemoveTrayIcon();
    if (m_pWebDlg) {
        CWebDlg* dlg = m_pWebDlg;
        m_pWebDlg = nullptr;
        dlg->Close();
    }
    m_strPageStatus.clear();
    ReleaseSkin();
    Destroy();
}
