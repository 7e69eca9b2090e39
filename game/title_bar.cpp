// The game window's title bar: where its buttons go, how it is painted, what the mouse does
// on it, and two of the animations on it (the account-binding button, the clearing spinner;
// the VIP button's blink is with the customer service, vip_service.cpp).
#include <algorithm>
#include <iterator>

#include "fw/tooltip.h"
#include "game/rudov_game.h"
#include "ui/skin.h"

namespace {

constexpr int kBindHit = CRudovGame::kButtonCount;  // ButtonAt's answer for the binding button
constexpr int kBindFrameHeight = 22;
constexpr std::uint32_t kCaptionColour = 0xFFE4D10D;
constexpr fw::Rect kNoButton{0, 0, -1, -1};

}  // namespace

std::span<const CRudovGame::TitleButton> CRudovGame::TitleButtons() {
    // The binding button is not among them: it has no hover state (see OnLButtonUp).
    static constexpr TitleButton kButtons[] = {
        {kClose, &CRudovGame::m_rcClose, true, true, &CRudovGame::ConfirmExit},
        {kMin, &CRudovGame::m_rcMin, true, true, &CRudovGame::Minimize},
        {kMax, &CRudovGame::m_rcMax, true, true, &CRudovGame::ToggleMaximize},
        {kReturn, &CRudovGame::m_rcReturn, false, true, &CRudovGame::ConfirmExit},
        // The clearing picture is painted by StartClearing, which leaves a running spinner be.
        {kClear, &CRudovGame::m_rcClear, false, false, &CRudovGame::StartClearing},
        {kBossKey, &CRudovGame::m_rcBossKey, false, true, &CRudovGame::RunBossKeyDialog},
        {kVip, &CRudovGame::m_rcVip, false, true, nullptr},  // acts on the press (OnLButtonDown)
        {kPay, &CRudovGame::m_rcPay, false, true, &CRudovGame::OpenPayment},
    };
    return kButtons;
}

const CRudovGame::TitleButton* CRudovGame::FindTitleButton(int index) {
    for (const TitleButton& b : TitleButtons())
        if (b.index == index) return &b;
    return nullptr;
}

fw::Rect CRudovGame::buttonRect(int k) const {
    const TitleButton* b = FindTitleButton(k);
    return b ? this->*b->rect : fw::Rect{};
}

int CRudovGame::ImgWidth(Picture i) const { return Img(i) ? Img(i)->width() : 0; }
int CRudovGame::ImgHeight(Picture i) const { return Img(i) ? Img(i)->height() : 0; }

// ---- layout ---------------------------------------------------------------------------

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
    const ILauncher* launcher = Launcher();
    if (!launcher || launcher->AccountBound()) {
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
    // The VIP button; while a message waits, the blink decides (its other half shows the bar).
    if (!m_rcVip.IsEmpty() && (!m_bImPending || m_blink.buttonShown()))
        canvas.DrawImage(Img(!m_bImPending && m_nState[kVip] == 1 ? kImgVipHover : kImgVipNormal), m_rcVip,
                         {0, 0, 75, 22});
    const ILauncher* launcher = Launcher();
    const bool maximized = launcher && launcher->GameMaximized();
    ui::DrawSlice(canvas, Img(maximized ? kImgRestore : kImgMax), m_rcMax, m_nState[kMax], Strip::Horizontal);
    ui::DrawSlice(canvas, Img(m_bClearing ? kImgClearing : kImgClear), m_rcClear, m_nState[kClear], Strip::Vertical);

    const std::string server = launcher ? launcher->ServerName() : std::string();
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
    for (const TitleButton& b : TitleButtons())
        if ((this->*b.rect).Contains(p)) return b.index;
    return m_rcBind.Contains(p) ? kBindHit : kNone;
}

void CRudovGame::RefreshButtons() {
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

void CRudovGame::SetTooltip(bool show, fw::Point at) {
    if (!show) {
        if (m_bTooltipVisible) fw::HideTooltip(*this);
        m_bTooltipVisible = false;
        return;
    }
    if (m_bTooltipVisible) return;
    const ILauncher* launcher = Launcher();
    m_strTooltip = launcher ? launcher->BossKeyName() : std::string();
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
    const TitleButton* b = FindTitleButton(k);
    if (b && b->pressable && m_nState[k] == 1) {
        m_nState[k] = 2;
        InvalidateRect(this->*b->rect);
        return;
    }
    if (k == kVip) {
        if (m_bServiceParsed) OpenVip();  // on the press, not the release
        return;
    }
    if (k == kBindHit) return;  // no drag from the binding button
    const ILauncher* launcher = Launcher();
    const bool maximized = launcher ? launcher->GameMaximized() : IsMaximized();
    if (m_rcDrag.Contains(p) && !maximized) {
        ReleaseCapture();
        Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
    }
}

void CRudovGame::OnLButtonUp(fw::Point p) {
    const int k = ButtonAt(p);
    if (k == kBindHit) {
        // The binding button has no hover state: any release on it counts.
        OpenBindPageIfUnbound();
        return;
    }
    const TitleButton* b = FindTitleButton(k);
    if (!b || !b->action || m_nState[k] != (b->pressable ? 2 : 1)) return;
    m_nState[k] = 0;
    if (b->repaint) InvalidateRect(this->*b->rect);
    (this->*b->action)();
}

void CRudovGame::OnLButtonDblClk(fw::Point p) {
    if (m_rcDrag.Contains(p)) ToggleMaximize();
}

// ---- animations -----------------------------------------------------------------------

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
    const ILauncher* launcher = Launcher();
    const bool bound = !launcher || launcher->AccountBound();
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
    switch (m_spinner.Advance(m_bClearing)) {
    case SpinnerAnimation::Tick::Changed:
        InvalidateRect(fw::Rect::FromXYWH(m_rcClear.left + 4, m_rcClear.top + 4, s, s));
        break;
    case SpinnerAnimation::Tick::Stopped:
        KillTimer(IDT_SPINNER);
        InvalidateRect(m_rcClear);  // back to the idle picture
        break;
    }
}
