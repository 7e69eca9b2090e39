#include "game/rudov_game.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "app/main_wnd.h"
#include "app/messages.h"
#include "app/resource.h"
#include "fw/com.h"
#include "fw/tooltip.h"
#include "fw/message_box.h"
#include "fw/shell.h"
#include "fw/system.h"
#include "fw/threading.h"
#include "game/cache_clear.h"
#include "ui/bosskey_dlg.h"
#include "ui/jihuo_wnd.h"
#include "ui/pay_wnd.h"
#include "ui/skin.h"
#include "web/web_ctrl_interface.h"

CRudovGame* g_pGameWnd = nullptr;

namespace {

constexpr const char* kCaption = "LumoDrakmoor";
constexpr const char* kLoadGameMarker = "client://loadgame";
constexpr int kBindHit = CRudovGame::kButtonCount;  // ButtonAt's answer for the binding button
constexpr int kBindFrameHeight = 22;
constexpr std::uint32_t kCaptionColour = 0xFFE4D10D;
constexpr fw::Rect kNoButton{0, 0, -1, -1};

// Skin pictures by role, in the order of CRudovGame::Picture.
constexpr int kPictureIds[] = {
    app::IDB_GAME_FRAME,   app::IDB_GAME_LOGO,     app::IDB_GAME_CLOSE,    app::IDB_GAME_MIN,
    app::IDB_GAME_MAX,     app::IDB_GAME_RESTORE,  app::IDB_GAME_RETURN,   app::IDB_GAME_CLEAR,
    app::IDB_GAME_CLEARING, app::IDB_GAME_SPINNER, app::IDB_GAME_BOSSKEY,  app::IDB_GAME_PAY,
    app::IDB_GAME_BIND,    app::IDB_VIP_HOVER,     app::IDB_VIP_NORMAL,
};

std::atomic<int> g_runningClearWorkers{0};
std::atomic<int> g_clearPauseMs{1000};

fw::Window* MakeGameWindow() { return new CRudovGame(); }

}  // namespace

void RegisterGameWindow() { CMainWnd::SetGameWindowFactory(&MakeGameWindow); }

// What a clearing worker shares with its window: the window is known only by its handle (a
// post to a window that is gone is dropped), and `stop` is set when the window closes, which
// also cuts the final pause short.
struct CRudovGame::ClearJob {
    fw::Handle target = fw::kNoWindow;
    std::string folder;
    std::chrono::milliseconds pause{1000};
    fw::Event stop{false};
};

// ---- construction ---------------------------------------------------------------------

CRudovGame::CRudovGame() {
    m_hLauncher = g_pMainWnd ? g_pMainWnd->handle() : fw::kNoWindow;
    m_pHost = new CWebCtrlInterFace();  // no script bridge: game pages have no window.external
    m_pHost->AddRef();
    fw::CreateParams p;
    p.style = fw::kPopup | fw::kMinimizeBox | fw::kMaximizeBox;
    Create(p);
}

CRudovGame::~CRudovGame() {
    Destroy();
    ReleaseAll();  // when the window never came to be
}

CMainWnd* CRudovGame::Launcher() const {
    // Through the launcher's handle: a launcher that is gone is never touched.
    return static_cast<CMainWnd*>(fw::Window::FromHandle(m_hLauncher));
}

int CRudovGame::ImgWidth(Picture i) const { return Img(i) ? Img(i)->width() : 0; }
int CRudovGame::ImgHeight(Picture i) const { return Img(i) ? Img(i)->height() : 0; }

int CRudovGame::OnCreate() {
    for (int i = 0; i < kImageCount; ++i) ui::LoadSkinImage(kPictureIds[i], m_pImage[i]);

    const fw::Size screen = fw::ScreenSize();
    m_nHeight = screen.cy >= 820 ? 820 : screen.cy - 80;
    m_nWidth = screen.cx >= 1300 ? 1300 : screen.cx;
    LayoutButtons();
    SetPos(fw::Rect::FromXYWH((screen.cx - m_nWidth) / 2, (screen.cy - 37 - m_nHeight) / 2, m_nWidth, m_nHeight));
    SetCaption(kCaption);
    g_pGameWnd = this;

    m_rcBrowser = {2, kTitleHeight, m_nWidth - 2, m_nHeight - 2};
    m_wndBrowser = fw::BrowserControl::Create(*this, kBrowserId, m_rcBrowser);
    if (!m_wndBrowser) return -1;
    AttachToControl(m_pHost, m_wndBrowser->GetControlUnknown());
    void* wb = nullptr;
    if (m_wndBrowser->GetControlUnknown()->QueryInterface(IID_IWebBrowser2, &wb) != S_OK || !wb) {
        m_wndBrowser.reset();
        return -1;
    }
    m_pBrowser = static_cast<IWebBrowser2*>(wb);
    m_wndBrowser->SetEvents(this);
    CMainWnd* launcher = Launcher();
    NavigateGame(launcher ? launcher->m_strGameUrl : std::string());
    m_wndBrowser->Show(true);
    m_wndBrowser->SetSilent(true);

    m_strTooltip.clear();
    m_bTooltipVisible = false;

    if (launcher && !launcher->m_bAccountBound) {
        m_rcBind = {m_nWidth - 532, 9, m_nWidth - 396, 31};
        LayoutButtons();
        SetTimer(IDT_BIND_ANIMATION, BindingAnimation::kSlotMs);
    }
    return 0;
}

void CRudovGame::LayoutButtons() {
    const int w = m_nWidth;
    m_rcPay = fw::Rect::FromXYWH(w - 391, 9, ImgWidth(kImgPay), ImgHeight(kImgPay) / 2);
    m_rcReturn = fw::Rect::FromXYWH(m_rcPay.right + 5, 9, ImgWidth(kImgReturn), ImgHeight(kImgReturn) / 2);
    m_rcClear = {m_rcReturn.right + 5, 9, m_rcReturn.right + 5 + ImgWidth(kImgClear), m_rcReturn.bottom};
    m_rcBossKey = {m_rcClear.right + 5, 9, m_rcClear.right + 5 + ImgWidth(kImgBossKey), m_rcReturn.bottom};
    m_rcMin = fw::Rect::FromXYWH(m_rcBossKey.right + 8, 7, ImgWidth(kImgMin) / 3, ImgHeight(kImgMin));
    m_rcMax = {m_rcMin.right + 3, 7, m_rcMin.right + 3 + ImgWidth(kImgMax) / 3, m_rcMin.bottom};
    m_rcClose = {m_rcMax.right + 3, 7, m_rcMax.right + 3 + ImgWidth(kImgClose) / 3, m_rcMin.bottom};
    // The drag area ends 5 pixels left of the leftmost button shown: payment, or the binding
    // or VIP button when they are there.
    int left = m_rcPay.left;
    if (!m_rcBind.IsEmpty()) left = std::min(left, m_rcBind.left);
    if (!m_rcVip.IsEmpty()) left = std::min(left, m_rcVip.left);
    m_rcDrag = {0, 0, left - 5, kTitleHeight};
}

void CRudovGame::PlaceBindButton() {
    CMainWnd* launcher = Launcher();
    if (!launcher || launcher->m_bAccountBound) {
        m_rcBind = {};
    } else {
        m_rcBind = {m_nWidth - 532, 9, m_nWidth - 396, 31};
    }
}

// ---- painting -------------------------------------------------------------------------

void CRudovGame::ComposeBackground() {
    // The frame picture in two bands: its 40-row title band over the title bar, the rest
    // stretched over the body; then the logo. Composed once per size.
    fw::Canvas c(m_bmBackground);
    const fw::Image* frame = Img(kImgFrame);
    const int w = m_bmBackground.width(), h = m_bmBackground.height();
    if (frame && frame->valid()) {
        c.DrawImage(frame, {0, 0, w, kTitleHeight}, {0, 0, frame->width(), kTitleHeight});
        if (h > kTitleHeight)
            c.DrawImage(frame, {0, kTitleHeight, w, h}, {0, kTitleHeight, frame->width(), frame->height()});
    }
    if (const fw::Image* logo = Img(kImgLogo))
        c.DrawImage(logo, fw::Rect::FromXYWH(10, 5, 48, 29), {0, 0, logo->width(), logo->height()});
}

void CRudovGame::ComposeCaption(const std::string& text) {
    // The caption on a transparent layer as wide as the bar right of it; blended each paint.
    m_strCaptionDrawn = text;
    m_bCaptionComposed = true;
    m_pCaption.reset();
    const int w = m_bmBackground.width() - 60;
    if (text.empty() || w <= 0) return;
    fw::Bitmap layer(w, kTitleHeight - 13);
    fw::Canvas c(layer);
    c.DrawText(text, m_font, kCaptionColour, fw::Point{0, 0});
    std::vector<std::uint32_t> px(layer.data(), layer.data() + static_cast<std::size_t>(layer.width()) * layer.height());
    m_pCaption = fw::Image::FromPixels(layer.width(), layer.height(), std::move(px));
}

void CRudovGame::OnPaint(fw::Canvas& canvas) {
    const int w = canvas.target().width(), h = canvas.target().height();
    if (m_bmBackground.width() != w || m_bmBackground.height() != h) {
        m_bmBackground.Resize(w, h);
        ComposeBackground();
        m_bCaptionComposed = false;
    }
    canvas.Blit(m_bmBackground, 0, 0);

    using ui::Strip;
    ui::DrawSlice(canvas, Img(kImgReturn), m_rcReturn, m_nState[kReturn], Strip::Vertical);
    ui::DrawSlice(canvas, Img(kImgPay), m_rcPay, m_nState[kPay], Strip::Vertical);
    ui::DrawSlice(canvas, Img(kImgBossKey), m_rcBossKey, m_nState[kBossKey], Strip::Vertical);
    ui::DrawSlice(canvas, Img(kImgClose), m_rcClose, m_nState[kClose], Strip::Horizontal);
    ui::DrawSlice(canvas, Img(kImgMin), m_rcMin, m_nState[kMin], Strip::Horizontal);
    if (!m_rcVip.IsEmpty() && !m_bImPending) {
        canvas.DrawImage(Img(m_nState[kVip] == 1 ? kImgVipHover : kImgVipNormal), m_rcVip, {0, 0, 75, 22});
    }
    CMainWnd* launcher = Launcher();
    const bool maximized = launcher && launcher->m_bGameMaximized;
    ui::DrawSlice(canvas, Img(maximized ? kImgRestore : kImgMax), m_rcMax, m_nState[kMax], Strip::Horizontal);
    ui::DrawSlice(canvas, Img(m_bClearing ? kImgClearing : kImgClear), m_rcClear, m_nState[kClear], Strip::Vertical);

    const std::string server = launcher ? launcher->m_strServerName : std::string();
    const std::string caption = server.empty() ? std::string() : std::string(kCaption) + "--" + server + "(F9刷新)";
    if (!m_bCaptionComposed || caption != m_strCaptionDrawn) ComposeCaption(caption);
    if (m_pCaption) {
        canvas.DrawImage(m_pCaption.get(), fw::Rect::FromXYWH(60, 13, m_pCaption->width(), m_pCaption->height()),
                         {0, 0, m_pCaption->width(), m_pCaption->height()});
    }

    // The animations' current frames.
    if (m_bind.running() && !m_rcBind.IsEmpty() && m_bind.frame() >= 0)
        ui::DrawSlice(canvas, Img(kImgBind), m_rcBind, m_bind.frame(), Strip::Vertical);
    if (m_spinner.running()) {
        const int s = SpinnerAnimation::kSize;
        canvas.DrawImage(Img(kImgSpinner), fw::Rect::FromXYWH(m_rcClear.left + 4, m_rcClear.top + 4, s, s),
                         fw::Rect::FromXYWH(s * m_spinner.frame(), 0, s, s));
    }
}

void CRudovGame::InvalidateRect(const fw::Rect& r) {
    if (!r.IsEmpty()) Invalidate(&r);
}

// ---- mouse ----------------------------------------------------------------------------

int CRudovGame::ButtonAt(fw::Point p) const {
    const std::pair<const fw::Rect*, int> order[] = {
        {&m_rcClose, kClose}, {&m_rcMin, kMin},   {&m_rcMax, kMax}, {&m_rcReturn, kReturn}, {&m_rcClear, kClear},
        {&m_rcBossKey, kBossKey}, {&m_rcVip, kVip}, {&m_rcPay, kPay}, {&m_rcBind, kBindHit},
    };
    for (const auto& [rect, index] : order)
        if (rect->Contains(p)) return index;
    return kNone;
}

void CRudovGame::RefreshButtons() {
    for (int k = kClose; k < kButtonCount; ++k)
        if (k != m_nHotButton) m_nState[k] = 0;
    for (const fw::Rect* r : {&m_rcClose, &m_rcMin, &m_rcMax, &m_rcReturn, &m_rcBossKey, &m_rcVip, &m_rcPay})
        InvalidateRect(*r);
    if (!m_bClearing) {
        InvalidateRect(m_rcClear);
        return;
    }
    // While clearing, the spinner's square (left + 4 .. left + 20) is left out.
    const fw::Rect& c = m_rcClear;
    InvalidateRect({c.left + 22, c.top, c.right, c.bottom});
    InvalidateRect({c.left, c.top, c.left + 5, c.bottom});
    InvalidateRect({c.left, c.top, c.left + 22, c.top + 2});
    InvalidateRect({c.left, c.bottom - 2, c.left + 22, c.bottom});
}

void CRudovGame::SetTooltip(bool show, fw::Point at) {
    if (!show) {
        if (m_bTooltipVisible) fw::HideTooltip(*this);
        m_bTooltipVisible = false;
        return;
    }
    if (m_bTooltipVisible) return;
    CMainWnd* launcher = Launcher();
    m_strTooltip = launcher ? launcher->m_strHotKeyName : std::string();
    m_bTooltipVisible = true;
    fw::ShowTooltip(*this, m_strTooltip, at);
}

void CRudovGame::OnMouseMove(fw::Point p) {
    const int k = ButtonAt(p);
    if (k == kBindHit) {
        // Over the binding button nothing changes.
    } else if (k != kNone) {
        if (m_nState[k] == 0) {
            m_nState[k] = 1;
            m_nHotButton = k;
            RefreshButtons();
        }
        SetTooltip(k == kBossKey, p);
    } else {
        m_nHotButton = kNone;
        RefreshButtons();
        SetTooltip(false, p);
    }
    if (!m_bTracking) {
        m_bTracking = true;
        TrackMouseLeave();
    }
}

void CRudovGame::OnMouseLeave() {
    if (!m_bTracking) return;
    m_bTracking = false;
    SetTooltip(false, {});  // the button states stay as they are
}

void CRudovGame::OnLButtonDown(fw::Point p) {
    const int k = ButtonAt(p);
    if ((k == kClose || k == kMin || k == kMax) && m_nState[k] == 1) {
        m_nState[k] = 2;
        InvalidateRect(k == kClose ? m_rcClose : k == kMin ? m_rcMin : m_rcMax);
        return;
    }
    if (k == kBindHit || k == kVip) return;  // the VIP press comes with the customer service
    CMainWnd* launcher = Launcher();
    const bool maximized = launcher ? launcher->m_bGameMaximized != 0 : IsMaximized();
    if (m_rcDrag.Contains(p) && !maximized) {
        ReleaseCapture();
        Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
    }
}

void CRudovGame::OnLButtonUp(fw::Point p) {
    const int k = ButtonAt(p);
    switch (k) {
    case kClose:
    case kReturn:
        if (m_nState[k] != (k == kClose ? 2 : 1)) return;
        m_nState[k] = 0;
        InvalidateRect(k == kClose ? m_rcClose : m_rcReturn);
        ConfirmExit();
        return;
    case kMax:
        if (m_nState[kMax] != 2) return;
        m_nState[kMax] = 0;
        InvalidateRect(m_rcMax);
        ToggleMaximize();
        return;
    case kMin:
        if (m_nState[kMin] != 2) return;
        m_nState[kMin] = 0;
        InvalidateRect(m_rcMin);
        Send(fw::WM_SYSCOMMAND, fw::SC_MINIMIZE, 0);
        return;
    case kClear:
        if (m_nState[kClear] != 1) return;
        m_nState[kClear] = 0;
        StartClearing();
        return;
    case kBossKey:
        if (m_nState[kBossKey] != 1) return;
        m_nState[kBossKey] = 0;
        InvalidateRect(m_rcBossKey);
        RunBossKeyDialog();
        return;
    case kPay:
        if (m_nState[kPay] != 1) return;
        m_nState[kPay] = 0;
        InvalidateRect(m_rcPay);
        OpenPayment();
        return;
    case kBindHit: {
        CMainWnd* launcher = Launcher();
        if (launcher && !launcher->m_bAccountBound) OpenBindPage();
        return;
    }
    default: return;
    }
}

void CRudovGame::OnLButtonDblClk(fw::Point p) {
    if (m_rcDrag.Contains(p)) ToggleMaximize();
}

// ---- actions --------------------------------------------------------------------------

void CRudovGame::NavigateGame(const std::string& url) {
    // Every way into the game page comes here (the launcher's game address at creation and
    // on F9, client://loadgame): a page cannot show local files in the game window.
    if (!m_wndBrowser || !fw::RequireWebAddress(url, "game page")) return;
    m_wndBrowser->Navigate(url);
}

void CRudovGame::ConfirmExit() {
    const fw::Handle launcher = m_hLauncher;  // this window may be gone when the box returns
    const int answer = fw::MessageBox(fw::kNoWindow, "确定要退出当前正在玩的游戏吗？", "退出提示",
                                      fw::MB_ICONQUESTION | fw::MB_OKCANCEL);
    if (answer == fw::IDOK) fw::Window::Post(launcher, WM_GAME_CLOSED);
}

void CRudovGame::ToggleMaximize() {
    CMainWnd* launcher = Launcher();
    const bool maximized = launcher ? launcher->m_bGameMaximized != 0 : IsMaximized();
    if (maximized) {
        if (launcher) launcher->m_bGameMaximized = 0;
        Send(fw::WM_SYSCOMMAND, fw::SC_RESTORE, 0);
        Invalidate();
    } else {
        Send(fw::WM_SYSCOMMAND, fw::SC_MAXIMIZE, 0);
    }
    if (m_pPayWnd && m_pPayWnd->IsWindow())
        m_pPayWnd->Move(m_nWidth - CPayWnd::kRightOffset, CPayWnd::kTop, CPayWnd::kWidth, CPayWnd::kHeight);
}

void CRudovGame::OpenPayment() {
    if (m_pPayWnd) return;
    CMainWnd* launcher = Launcher();
    if (!launcher) return;
    if (launcher->m_strPayParam.empty()) {
        fw::ShellOpenUrl(launcher->PaymentUrl());
        return;
    }
    auto* pay = new CPayWnd(this, launcher->m_strPayParam);
    if (!pay->Created()) {
        delete pay;
        return;
    }
    m_pPayWnd = pay;
    pay->Show(fw::ShowCmd::Hide);  // it shows itself once its page has loaded
}

void CRudovGame::OpenBindPage() {
    if (m_pBindWnd) return;
    auto* bind = new CJihuoWnd(this, "albt");
    if (!bind->Created()) {
        delete bind;
        return;
    }
    m_pBindWnd = bind;
    bind->Show(fw::ShowCmd::Hide);
}

void CRudovGame::RunBossKeyDialog() {
    CBosskey dlg(this);
    dlg.DoModal();
}

// ---- sizing ---------------------------------------------------------------------------

void CRudovGame::OnSize(unsigned type, int cx, int cy) {
    // A minimised window keeps the layout of its resting size.
    if (type == fw::SIZE_MINIMIZED) return;
    int width = cx, height = cy;
    if (type == fw::SIZE_MAXIMIZED) {
        // Maximised means over the work area, whatever size the system chose.
        const fw::Rect work = fw::WorkArea();
        if (GetWindowRect() != work) SetPos(work, fw::kNoZOrder);
        width = work.Width();
        height = work.Height();
    }
    m_nWidth = width;
    m_nHeight = height;
    if (m_wndBrowser) {
        m_rcBrowser = {2, kTitleHeight, width - 2, height - 2};
        m_wndBrowser->Move(m_rcBrowser);
    }
    PlaceBindButton();
    m_rcVip = {};  // placed once the customer-service list has been handed over
    LayoutButtons();
}

void CRudovGame::OnSysCommand(unsigned cmd, fw::LPARAM lp) {
    DefSysCommand(cmd, lp);
    if (!IsWindow() || (cmd & 0xFFF0) != fw::SC_MAXIMIZE) return;
    if (CMainWnd* launcher = Launcher()) launcher->m_bGameMaximized = 1;
    SetPos(fw::WorkArea(), fw::kNoZOrder);
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
        {{-3, B - 3, 3, B + 2}, fw::HTBOTTOMLEFT}, {{-3, -3, 3, 3}, fw::HTTOPLEFT},
        {{R - 3, -3, R + 2, 3}, fw::HTTOPRIGHT},  {{R - 3, B - 3, R + 2, B + 2}, fw::HTBOTTOMRIGHT},
        {{-3, -3, 3, B}, fw::HTLEFT},             {{-3, -3, R, 4}, fw::HTTOP},
        {{-3, B - 3, R, B}, fw::HTBOTTOM},        {{R - 3, -3, R, B}, fw::HTRIGHT},
    };
    for (const auto& b : borders)
        if (b.r.Contains(p)) return b.hit;
    return fw::HTCLIENT;
}

void CRudovGame::OnNcLButtonDown(int hit, fw::Point screen) {
    CMainWnd* launcher = Launcher();
    if (launcher ? launcher->m_bGameMaximized != 0 : IsMaximized()) return;
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

// ---- keys -----------------------------------------------------------------------------

bool CRudovGame::PreTranslateMessage(const fw::Msg& msg) {
    if (msg.message == fw::WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == fw::SC_MINIMIZE) {
        Show(fw::ShowCmd::Minimize);
        return true;
    }
    if (msg.message == fw::WM_KEYDOWN) {
        if (msg.wParam == fw::VK_ESCAPE) return true;  // the page never sees Escape
        if (msg.wParam == fw::VK_F9 && m_pBrowser) {
            // The game page again from the launcher's game address, wherever it went since.
            if (CMainWnd* launcher = Launcher()) NavigateGame(launcher->m_strGameUrl);
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

void CRudovGame::NewWindow3(const std::string& url, unsigned flags, bool& cancel) {
    (void)url;
    (void)flags;
    (void)cancel;  // not cancelled: the browser opens it as it would
}

void CRudovGame::TitleChange(const std::string& title) { (void)title; }

void CRudovGame::EngineProcessEnded(fw::EngineExit why) { m_recovery.EngineEnded(why); }

// ---- title-bar animations -------------------------------------------------------------

void CRudovGame::OnTimer(unsigned id) {
    switch (id) {
    case IDT_BIND_ANIMATION:
        KillTimer(IDT_BIND_ANIMATION);
        // The animation starts once the window is visible; until then the window keeps
        // handling its messages and looks again every 50 ms.
        if (IsVisible()) {
            StartBindAnimation();
        } else {
            SetTimer(IDT_BIND_WAIT_VISIBLE, 50);
        }
        break;
    case IDT_BIND_WAIT_VISIBLE:
        if (IsVisible()) {
            KillTimer(IDT_BIND_WAIT_VISIBLE);
            StartBindAnimation();
        }
        break;
    case IDT_BIND_SLOT: OnBindSlot(); break;
    case IDT_SPINNER: OnSpinnerFrame(); break;
    case IDT_GAME_RECOVERY: m_recovery.OnTimer(id); break;
    default: break;
    }
}

void CRudovGame::StartBindAnimation() {
    const fw::Image* strip = Img(kImgBind);
    const int frames = strip && strip->valid() ? strip->height() / kBindFrameHeight : 0;
    if (!m_bind.Start(frames)) {
        EndBindAnimation();
        return;
    }
    InvalidateRect(m_rcBind);
    SetTimer(IDT_BIND_SLOT, BindingAnimation::kSlotMs);
}

void CRudovGame::OnBindSlot() {
    CMainWnd* launcher = Launcher();
    const bool bound = !launcher || launcher->m_bAccountBound != 0;
    switch (m_bind.Advance(bound)) {
    case BindingAnimation::Tick::Changed: InvalidateRect(m_rcBind); break;
    case BindingAnimation::Tick::Unchanged: break;
    case BindingAnimation::Tick::Stopped:
        KillTimer(IDT_BIND_SLOT);
        EndBindAnimation();
        break;
    }
}

void CRudovGame::EndBindAnimation() {
    // The button goes: the title bar is painted again without it, the drag area grows back.
    m_bind.Stop();
    m_rcBind = kNoButton;
    LayoutButtons();
    const fw::Rect bar{0, 0, m_nWidth, kTitleHeight};
    Invalidate(&bar);
}

void CRudovGame::OnSpinnerFrame() {
    const int s = SpinnerAnimation::kSize;
    switch (m_spinner.Advance(m_bClearing != 0)) {
    case SpinnerAnimation::Tick::Changed:
        InvalidateRect(fw::Rect::FromXYWH(m_rcClear.left + 4, m_rcClear.top + 4, s, s));
        break;
    case SpinnerAnimation::Tick::Stopped:
        KillTimer(IDT_SPINNER);
        InvalidateRect(m_rcClear);  // back to the idle picture
        break;
    }
}

// ---- cache clearing -------------------------------------------------------------------

int CRudovGame::RunningClearWorkers() { return g_runningClearWorkers.load(); }

void CRudovGame::SetClearPauseForTesting(std::chrono::milliseconds pause) {
    g_clearPauseMs = pause.count() > 0 ? static_cast<int>(pause.count()) : 1000;
}

void CRudovGame::StartClearing() {
    if (m_bClearing) return;
    m_bClearing = 1;
    InvalidateRect(m_rcClear);  // the clearing picture
    if (!m_spinner.running()) {
        m_spinner.Start();
        SetTimer(IDT_SPINNER, SpinnerAnimation::kFrameMs);
    }
    // The engine's data first (it answers on the UI thread, possibly later), then the rest
    // on a worker. A window closed meanwhile is found gone by its handle.
    const fw::Handle self = handle();
    ClearUrlCache([self] {
        if (auto* game = dynamic_cast<CRudovGame*>(fw::Window::FromHandle(self))) game->StartClearWorker();
    });
}

void CRudovGame::StartClearWorker() {
    if (!m_bClearing || m_clearJob) return;
    auto job = std::make_shared<ClearJob>();
    job->target = handle();
    job->folder = fw::BrowserCacheFolder();
    job->pause = std::chrono::milliseconds(g_clearPauseMs.load());
    m_clearJob = job;
    ++g_runningClearWorkers;
    try {
        std::thread([job] {
            RunClearJob(job);
            --g_runningClearWorkers;
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the clearing ends here, as if it had run.
        --g_runningClearWorkers;
        m_clearJob.reset();
        Post(WM_CLEAR_DONE);
    }
}

// The clearing worker: trim, empty the engine's cache folder, pause, report. It touches no
// window; once the window has closed it stops at the next step.
void CRudovGame::RunClearJob(const std::shared_ptr<ClearJob>& job) {
    // A failed trim is reported by the window (message boxes belong to the UI thread).
    if (!TrimAllProcesses()) fw::Window::Post(job->target, WM_CLEAR_FAILED);
    if (job->stop.IsSet()) return;
    if (!job->folder.empty()) DeleteTree(job->folder, false);
    if (job->stop.WaitFor(job->pause)) return;  // the window closed: nobody to tell
    fw::Window::Post(job->target, WM_CLEAR_DONE);
}

void CRudovGame::OnClearingDone() {
    m_bClearing = 0;  // the spinner finishes its cycle, then the idle picture returns
    m_clearJob.reset();
    // A new clearing may start while this message is up. Nothing of the window is touched
    // after the box: it may have been closed meanwhile.
    fw::MessageBox(fw::kNoWindow, "清除缓存成功", "清除提示", fw::MB_OK);
}

fw::LRESULT CRudovGame::OnMessage(unsigned msg, fw::WPARAM wp, fw::LPARAM lp) {
    (void)wp;
    (void)lp;
    switch (msg) {
    case WM_CLEAR_DONE: OnClearingDone(); break;
    case WM_CLEAR_FAILED: fw::MessageBox(fw::kNoWindow, "清除失败", "RaduVove", fw::MB_OK | fw::MB_ICONWARNING); break;
    case WM_PAY_CLOSED:
        if (CPayWnd* pay = m_pPayWnd) {
            m_pPayWnd = nullptr;
            pay->Send(fw::WM_CLOSE);
            delete pay;
        }
        break;
    case WM_BIND_CLOSED:
        if (CJihuoWnd* bind = m_pBindWnd) {
            m_pBindWnd = nullptr;
            bind->Send(fw::WM_CLOSE);
            delete bind;
        }
        break;
    default: break;
    }
    return 0;
}

// ---- closing --------------------------------------------------------------------------

void CRudovGame::StopWorkers() {
    for (unsigned id : {IDT_BIND_ANIMATION, IDT_BIND_WAIT_VISIBLE, IDT_BIND_SLOT, IDT_SPINNER}) KillTimer(id);
    m_bind.Stop();
    m_spinner.Stop();
    if (m_clearJob) {
        // The worker is not waited for: it stops at its next step, and what it posts then
        // finds no window.
        m_clearJob->stop.Set();
        m_clearJob.reset();
    }
}

void CRudovGame::ReleaseAll() {
    StopWorkers();
    m_recovery.Cancel();
    for (auto& img : m_pImage) img.reset();
    m_pCaption.reset();
    m_bCaptionComposed = false;
    m_bmBackground.Resize(0, 0);
    ReleasePage(m_pHost, m_pBrowser, m_wndBrowser);
    if (m_bTooltipVisible) fw::HideTooltip(*this);
    m_bTooltipVisible = false;
}

void CRudovGame::OnClose() {
    ReleaseAll();
    Destroy();
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
    if (g_pGameWnd == this) g_pGameWnd = nullptr;
    // Closed some other way than by the launcher (Alt+F4, the system's close): the launcher,
    // which still holds this window, hears of it as if the user had left the game. (The
    // launcher lets go of the window before it closes it itself.)
    CMainWnd* launcher = Launcher();
    if (launcher && launcher->m_pGameWnd == this) fw::Window::Post(launcher->handle(), WM_GAME_CLOSED);
}
