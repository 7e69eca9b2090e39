// The game window's title bar: where its buttons go, how it is painted, what the mouse does
// on it, and two of the animations on it (the account-binding button, the clearing spinner;
// the VIP button's blink is the customer service's, which says how the button looks).
#include "game/title_bar.h"

#include <algorithm>
#include <iterator>

#include "fw/messages.h"
#include "fw/tooltip.h"
#include "shared/resource.h"
#include "ui/skin.h"

namespace {

constexpr int kBindHit = CTitleBar::kButtonCount;  // ButtonAt's answer for the binding button
constexpr int kBindFrameHeight = 22;
constexpr std::uint32_t kCaptionColour = 0xFFE4D10D;
constexpr fw::Rect kNoButton{0, 0, -1, -1};

// Skin pictures by role, in the order of CTitleBar::Picture.
constexpr int kPictureIds[] = {
    shared::IDB_GAME_FRAME,    shared::IDB_GAME_LOGO,    shared::IDB_GAME_CLOSE,   shared::IDB_GAME_MIN,
    shared::IDB_GAME_MAX,      shared::IDB_GAME_RESTORE, shared::IDB_GAME_RETURN,  shared::IDB_GAME_CLEAR,
    shared::IDB_GAME_CLEARING, shared::IDB_GAME_SPINNER, shared::IDB_GAME_BOSSKEY, shared::IDB_GAME_PAY,
    shared::IDB_GAME_BIND,     shared::IDB_VIP_HOVER,    shared::IDB_VIP_NORMAL,
};

}  // namespace

CTitleBar::CTitleBar(fw::Window& window, LauncherRef launcher, const char* caption)
    : m_window(window), m_launcher(launcher), m_caption(caption) {}

std::span<const CTitleBar::TitleButton> CTitleBar::TitleButtons() {
    // The binding button is not among them: it has no hover state (see OnLButtonUp).
    static constexpr TitleButton kButtons[] = {
        {kClose, &CTitleBar::m_rcClose, true, true, Click::Exit},
        {kMin, &CTitleBar::m_rcMin, true, true, Click::Minimize},
        {kMax, &CTitleBar::m_rcMax, true, true, Click::ToggleMaximize},
        {kReturn, &CTitleBar::m_rcReturn, false, true, Click::Exit},
        // The clearing picture is painted by SetClearing, which leaves a running spinner be.
        {kClear, &CTitleBar::m_rcClear, false, false, Click::ClearCache},
        {kBossKey, &CTitleBar::m_rcBossKey, false, true, Click::BossKey},
        {kVip, &CTitleBar::m_rcVip, false, true, Click::None},  // acts on the press (OnLButtonDown)
        {kPay, &CTitleBar::m_rcPay, false, true, Click::Pay},
    };
    return kButtons;
}

const CTitleBar::TitleButton* CTitleBar::FindTitleButton(int index) {
    for (const TitleButton& b : TitleButtons())
        if (b.index == index) return &b;
    return nullptr;
}

fw::Rect CTitleBar::ButtonRect(int k) const {
    const TitleButton* b = FindTitleButton(k);
    return b ? this->*b->rect : fw::Rect{};
}

void CTitleBar::LoadPictures() {
    for (int i = 0; i < kImageCount; ++i) ui::LoadSkinImage(kPictureIds[i], m_pImage[i]);
}

void CTitleBar::Release() {
    for (unsigned id : {IDT_BIND_ANIMATION, IDT_BIND_WAIT_VISIBLE, IDT_BIND_SLOT, IDT_SPINNER}) m_window.KillTimer(id);
    m_bind.Stop();
    m_spinner.Stop();
    for (auto& img : m_pImage) img.reset();
    m_pCaption.reset();
    m_bCaptionComposed = false;
    m_bmBackground.Resize(0, 0);
    if (m_bTooltipVisible) fw::HideTooltip(m_window);
    m_bTooltipVisible = false;
}

int CTitleBar::ImgWidth(Picture i) const { return Img(i) ? Img(i)->width() : 0; }
int CTitleBar::ImgHeight(Picture i) const { return Img(i) ? Img(i)->height() : 0; }

bool CTitleBar::Maximized() const {
    const ILauncher* launcher = Launcher();
    return launcher ? launcher->GameMaximized() : m_window.IsMaximized();
}

// ---- layout ---------------------------------------------------------------------------

void CTitleBar::SetWidth(int width) {
    m_nWidth = width;
    LayoutButtons();
}

void CTitleBar::Resize(int width) {
    m_nWidth = width;
    PlaceBindButton();
    PlaceVipButton();  // once the customer service has allowed it
    LayoutButtons();
}

void CTitleBar::LayoutButtons() {
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
    m_rcDrag = {0, 0, left - 5, kHeight};
}

void CTitleBar::PlaceBindButton() {
    const ILauncher* launcher = Launcher();
    if (!launcher || launcher->AccountBound()) {
        m_rcBind = {};
    } else {
        m_rcBind = {m_nWidth - 532, 9, m_nWidth - 396, 31};
    }
}

void CTitleBar::ShowBindButton() {
    PlaceBindButton();
    if (m_rcBind.IsEmpty()) return;
    LayoutButtons();
    m_window.SetTimer(IDT_BIND_ANIMATION, BindingAnimation::kSlotMs);
}

void CTitleBar::PlaceVipButton() {
    if (!m_bVipAllowed) {
        m_rcVip = {};
        return;
    }
    const int w = m_nWidth;
    // Left of the binding button while that is shown, else left of the payment button.
    m_rcVip = m_rcBind.IsEmpty() ? fw::Rect{w - 471, 9, w - 396, 31} : fw::Rect{w - 612, 9, w - 537, 31};
}

void CTitleBar::AllowVipButton() { m_bVipAllowed = true; }

void CTitleBar::ShowVipButton() {
    PlaceVipButton();
    LayoutButtons();
    InvalidateBar();
}

void CTitleBar::SetVipWaiting(bool waiting, bool drawn) {
    m_bVipWaiting = waiting;
    m_bVipDrawn = drawn;
}

// ---- painting -------------------------------------------------------------------------

void CTitleBar::ComposeBackground() {
    // The frame picture in two bands: its 40-row title band over the title bar, the rest
    // stretched over the body; then the logo. Composed once per size.
    fw::Canvas c(m_bmBackground);
    const fw::Image* frame = Img(kImgFrame);
    const int w = m_bmBackground.width(), h = m_bmBackground.height();
    if (frame && frame->valid()) {
        c.DrawImage(frame, {0, 0, w, kHeight}, {0, 0, frame->width(), kHeight});
        if (h > kHeight) c.DrawImage(frame, {0, kHeight, w, h}, {0, kHeight, frame->width(), frame->height()});
    }
    if (const fw::Image* logo = Img(kImgLogo))
        c.DrawImage(logo, fw::Rect::FromXYWH(10, 5, 48, 29), {0, 0, logo->width(), logo->height()});
}

void CTitleBar::ComposeCaption(const std::string& text) {
    // The caption on a transparent layer as wide as the bar right of it; blended each paint.
    m_strCaptionDrawn = text;
    m_bCaptionComposed = true;
    m_pCaption.reset();
    const int w = m_bmBackground.width() - 60;
    if (text.empty() || w <= 0) return;
    fw::Bitmap layer(w, kHeight - 13);
    fw::Canvas c(layer);
    c.DrawText(text, m_font, kCaptionColour, fw::Point{0, 0});
    std::vector<std::uint32_t> px(layer.data(),
                                  layer.data() + static_cast<std::size_t>(layer.width()) * layer.height());
    m_pCaption = fw::Image::FromPixels(layer.width(), layer.height(), std::move(px));
}

void CTitleBar::Paint(fw::Canvas& canvas) {
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
    // The VIP button; while a message waits, the blink decides (its other half shows the bar).
    if (!m_rcVip.IsEmpty() && (!m_bVipWaiting || m_bVipDrawn))
        canvas.DrawImage(Img(!m_bVipWaiting && m_nState[kVip] == 1 ? kImgVipHover : kImgVipNormal), m_rcVip,
                         {0, 0, 75, 22});
    const ILauncher* launcher = Launcher();
    const bool maximized = launcher && launcher->GameMaximized();
    ui::DrawSlice(canvas, Img(maximized ? kImgRestore : kImgMax), m_rcMax, m_nState[kMax], Strip::Horizontal);
    ui::DrawSlice(canvas, Img(m_bClearing ? kImgClearing : kImgClear), m_rcClear, m_nState[kClear], Strip::Vertical);

    const std::string server = launcher ? launcher->ServerName() : std::string();
    const std::string caption = server.empty() ? std::string() : std::string(m_caption) + "--" + server + "(F9刷新)";
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

void CTitleBar::InvalidateRect(const fw::Rect& r) {
    if (!r.IsEmpty()) m_window.Invalidate(&r);
}

void CTitleBar::InvalidateVip() { InvalidateRect(m_rcVip); }

void CTitleBar::InvalidateBar() {
    const fw::Rect bar{0, 0, m_nWidth, kHeight};
    m_window.Invalidate(&bar);
}

// ---- mouse ----------------------------------------------------------------------------

int CTitleBar::ButtonAt(fw::Point p) const {
    for (const TitleButton& b : TitleButtons())
        if ((this->*b.rect).Contains(p)) return b.index;
    return m_rcBind.Contains(p) ? kBindHit : kNone;
}

void CTitleBar::RefreshButtons() {
    for (int k = kClose; k < kButtonCount; ++k)
        if (k != m_nHotButton) m_nState[k] = 0;
    for (const TitleButton& b : TitleButtons())
        if (b.index != kClear) InvalidateRect(this->*b.rect);
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

void CTitleBar::SetTooltip(bool show, fw::Point at) {
    if (!show) {
        if (m_bTooltipVisible) fw::HideTooltip(m_window);
        m_bTooltipVisible = false;
        return;
    }
    if (m_bTooltipVisible) return;
    const ILauncher* launcher = Launcher();
    m_strTooltip = launcher ? launcher->BossKeyName() : std::string();
    m_bTooltipVisible = true;
    fw::ShowTooltip(m_window, m_strTooltip, at);
}

void CTitleBar::OnMouseMove(fw::Point p) {
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
        m_window.TrackMouseLeave();
    }
}

void CTitleBar::OnMouseLeave() {
    if (!m_bTracking) return;
    m_bTracking = false;
    SetTooltip(false, {});  // the button states stay as they are
}

CTitleBar::Click CTitleBar::OnLButtonDown(fw::Point p) {
    const int k = ButtonAt(p);
    const TitleButton* b = FindTitleButton(k);
    if (b && b->pressable && m_nState[k] == 1) {
        m_nState[k] = 2;
        InvalidateRect(this->*b->rect);
        return Click::None;
    }
    if (k == kVip) return Click::Vip;       // on the press, not the release
    if (k == kBindHit) return Click::None;  // no drag from the binding button
    if (m_rcDrag.Contains(p) && !Maximized()) {
        m_window.ReleaseCapture();
        m_window.Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
    }
    return Click::None;
}

CTitleBar::Click CTitleBar::OnLButtonUp(fw::Point p) {
    const int k = ButtonAt(p);
    // The binding button has no hover state: any release on it counts.
    if (k == kBindHit) return Click::BindAccount;
    const TitleButton* b = FindTitleButton(k);
    if (!b || b->click == Click::None || m_nState[k] != (b->pressable ? 2 : 1)) return Click::None;
    m_nState[k] = 0;
    if (b->repaint) InvalidateRect(this->*b->rect);
    return b->click;
}

CTitleBar::Click CTitleBar::OnLButtonDblClk(fw::Point p) {
    return m_rcDrag.Contains(p) ? Click::ToggleMaximize : Click::None;
}

// ---- clearing -------------------------------------------------------------------------

void CTitleBar::SetClearing(bool clearing) {
    m_bClearing = clearing;
    if (!clearing) return;      // the spinner finishes its cycle
    InvalidateRect(m_rcClear);  // the clearing picture
    if (!m_spinner.running()) {
        m_spinner.Start();
        m_window.SetTimer(IDT_SPINNER, SpinnerAnimation::kFrameMs);
    }
}

// ---- animations -----------------------------------------------------------------------

void CTitleBar::OnTimer(unsigned id) {
    switch (id) {
    case IDT_BIND_ANIMATION:
        m_window.KillTimer(IDT_BIND_ANIMATION);
        // The animation starts once the window is visible; until then the window keeps
        // handling its messages and looks again every 50 ms.
        if (m_window.IsVisible()) {
            StartBindAnimation();
        } else {
            m_window.SetTimer(IDT_BIND_WAIT_VISIBLE, 50);
        }
        break;
    case IDT_BIND_WAIT_VISIBLE:
        if (m_window.IsVisible()) {
            m_window.KillTimer(IDT_BIND_WAIT_VISIBLE);
            StartBindAnimation();
        }
        break;
    case IDT_BIND_SLOT: OnBindSlot(); break;
    case IDT_SPINNER: OnSpinnerFrame(); break;
    default: break;
    }
}

void CTitleBar::StartBindAnimation() {
    const fw::Image* strip = Img(kImgBind);
    const int frames = strip && strip->valid() ? strip->height() / kBindFrameHeight : 0;
    if (!m_bind.Start(frames)) {
        EndBindAnimation();
        return;
    }
    InvalidateRect(m_rcBind);
    m_window.SetTimer(IDT_BIND_SLOT, BindingAnimation::kSlotMs);
}

void CTitleBar::OnBindSlot() {
    const ILauncher* launcher = Launcher();
    const bool bound = !launcher || launcher->AccountBound();
    switch (m_bind.Advance(bound)) {
    case BindingAnimation::Tick::Changed: InvalidateRect(m_rcBind); break;
    case BindingAnimation::Tick::Unchanged: break;
    case BindingAnimation::Tick::Stopped:
        m_window.KillTimer(IDT_BIND_SLOT);
        EndBindAnimation();
        break;
    }
}

void CTitleBar::EndBindAnimation() {
    // The button goes: the title bar is painted again without it, the drag area grows back.
    m_bind.Stop();
    m_rcBind = kNoButton;
    LayoutButtons();
    InvalidateBar();
}

void CTitleBar::OnSpinnerFrame() {
    const int s = SpinnerAnimation::kSize;
    switch (m_spinner.Advance(m_bClearing)) {
    case SpinnerAnimation::Tick::Changed:
        InvalidateRect(fw::Rect::FromXYWH(m_rcClear.left + 4, m_rcClear.top + 4, s, s));
        break;
    case SpinnerAnimation::Tick::Stopped:
        m_window.KillTimer(IDT_SPINNER);
        InvalidateRect(m_rcClear);  // back to the idle picture
        break;
    }
}
