#include "side/bosskey_dlg.h"

#include "fw/dialog.h"
#include "fw/hotkey.h"
#include "fw/message_box.h"
#include "fw/system.h"
#include "shared/resource.h"
#include "ui/skin.h"

namespace {

constexpr const char* kAppName = "RaduVove";  // caption of the application's message boxes
constexpr const char* kFieldFace = "Arial";
constexpr int kFieldPoints = 10;
constexpr fw::Rect kFieldRect{134, 72, 225, 94};
constexpr std::uint32_t kPromptColour = 0xFFFFFFFF;

std::string& FirstFace() {
    static std::string face = "微软雅黑";
    return face;
}
std::string& FallbackFace() {
    static std::string face = "宋体";
    return face;
}

// Where a window of this size goes to be centred over `over`: over the work area when the
// owner is not to be seen, and kept inside the work area either way.
fw::Rect CentredOver(const fw::Window* over, int w, int h) {
    const fw::Rect work = fw::WorkArea();
    const bool ownerShown = over && over->IsWindow() && over->IsVisible() && !over->IsMinimized();
    const fw::Rect base = ownerShown ? over->GetWindowRect() : work;
    int x = base.left + (base.Width() - w) / 2;
    int y = base.top + (base.Height() - h) / 2;
    if (x + w > work.right) x = work.right - w;
    if (y + h > work.bottom) y = work.bottom - h;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    return fw::Rect::FromXYWH(x, y, w, h);
}

}  // namespace

CBosskey::CBosskey(fw::Window* parent, ILauncher* launcher) : m_pParent(parent), m_launcher(launcher) {}

CBosskey::~CBosskey() { Destroy(); }

void CBosskey::SetFacesForTesting(const std::string& first, const std::string& fallback) {
    FirstFace() = first.empty() ? "微软雅黑" : first;
    FallbackFace() = fallback.empty() ? "宋体" : fallback;
}

int CBosskey::DoModal() {
    if (IsWindow()) return -1;
    fw::Window* owner = m_pParent && m_pParent->IsWindow() ? m_pParent : nullptr;
    fw::CreateParams p;
    p.style = fw::kPopup | fw::kDialog;
    p.parent = owner;
    p.rect = CentredOver(owner, kWidth, kHeight);
    if (!Create(p)) return -1;
    const int result = fw::RunModal(*this);
    Destroy();
    return result;
}

int CBosskey::OnCreate() {
    ui::LoadSkinImage(shared::IDB_BOSSKEY_BG, m_pBackground);
    ui::LoadSkinImage(shared::IDB_BOSSKEY_OK, m_btnConfirm.image);
    ui::LoadSkinImage(shared::IDB_BOSSKEY_CLOSE, m_btnClose.image);

    m_btnClose.rect = {kWidth - 11, 0, kWidth, 11};
    m_btnConfirm.rect = {kWidth - 116, 73, kWidth - 56, 94};
    m_btnClose.state = m_btnConfirm.state = 0;
    SetPos(fw::Rect::FromXYWH(0, 0, kWidth, kHeight), fw::kNoMove | fw::kNoZOrder);

    // Without its field the dialog could not tell which key the user wants.
    m_pField = fw::HotKeyField::Create(*this, kFieldId, kFieldRect, kFieldFace, kFieldPoints);
    if (!m_pField) return -1;
    m_pField->Focus();
    // The current key: low byte the key, bits 16 to 23 the field's modifier flags (no key,
    // -1, gives 255 and 255 as it stands).
    const ILauncher* launcher = m_launcher.get();
    const std::int32_t code = launcher ? launcher->BossKey() : -1;
    const auto bits = static_cast<std::uint32_t>(code);
    m_pField->SetHotKey(bits & 0xFF, (bits >> 16) & 0xFF);

    m_fontPrompt = fw::Font{FirstFace(), 12, false};
    m_bFallback = !m_fontPrompt.Exists();
    if (m_bFallback) m_fontPrompt = fw::Font{FallbackFace(), 13, false};
    return 0;
}

void CBosskey::OnDestroy() {
    m_pField.reset();
    m_pBackground.reset();
    m_btnConfirm.image.reset();
    m_btnClose.image.reset();
}

fw::Rect CBosskey::promptRect() const { return fw::Rect::FromXYWH(50, m_bFallback ? 74 : 73, 84, 20); }

void CBosskey::OnPaint(fw::Canvas& canvas) {
    ui::DrawImageStretched(m_pBackground.get(), canvas, 0, 0, kWidth, kHeight);
    for (const ui::SkinButton* b : {&m_btnClose, &m_btnConfirm})
        ui::DrawSlice(canvas, b->image.get(), b->rect, b->state, ui::Strip::Vertical);
    canvas.DrawText(kPrompt, m_fontPrompt, kPromptColour, promptRect(), fw::TextHint::ClearTypeGridFit);
}

// ---- mouse ------------------------------------------------------------------------------

void CBosskey::OnMouseMove(fw::Point p) {
    // The highlight moves from one button to the other in one step; outside both every
    // move clears both.
    std::vector<ui::SkinButton*> buttons{&m_btnClose, &m_btnConfirm};
    for (const fw::Rect& r : ui::SkinButtonsMouseMove(buttons, p)) Invalidate(&r);
}

void CBosskey::OnLButtonDown(fw::Point p) {
    if (m_btnClose.rect.Contains(p) || m_btnConfirm.rect.Contains(p)) return;
    // The rest of the dialog drags it, as a caption would.
    ReleaseCapture();
    Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
}

void CBosskey::OnLButtonUp(fw::Point p) {
    if (m_btnClose.rect.Contains(p)) {
        if (m_btnClose.state == 1) fw::EndModal(*this, fw::IDCANCEL);
        return;
    }
    if (m_btnConfirm.rect.Contains(p)) ApplyKey();
}

// ---- ending -----------------------------------------------------------------------------

bool CBosskey::PreTranslateMessage(const fw::Msg& msg) {
    // Return and Escape are the dialog's own OK and Cancel, also inside the field.
    if (msg.message == fw::WM_KEYDOWN && (msg.wParam == fw::VK_RETURN || msg.wParam == fw::VK_ESCAPE)) {
        Send(fw::WM_COMMAND, msg.wParam == fw::VK_RETURN ? fw::IDOK : fw::IDCANCEL, 0);
        return true;
    }
    return false;
}

void CBosskey::OnCommand(unsigned id) {
    // OK and Cancel of the dialog itself end it without touching the boss key.
    if (id == static_cast<unsigned>(fw::IDOK) || id == static_cast<unsigned>(fw::IDCANCEL))
        fw::EndModal(*this, static_cast<int>(id));
}

void CBosskey::OnClose() { fw::EndModal(*this, fw::IDCANCEL); }

void CBosskey::ApplyKey() {
    if (!m_pField) return;
    unsigned vk = 0, flags = 0;
    m_pField->GetHotKey(vk, flags);
    vk &= 0xFF;
    flags &= 0xFF;
    const auto code = static_cast<std::int32_t>(flags * 65536u + vk);

    ILauncher* launcher = m_launcher.get();
    if (launcher && code == launcher->BossKey()) {
        fw::EndModal(*this, fw::IDOK);  // nothing changes: no system call at all
        return;
    }
    if (!launcher || !launcher->ChangeBossKey(code, fw::HotKeyName(vk, flags))) {
        fw::MessageBox(handle(), kRefused, kAppName, fw::MB_OK);
        return;  // the dialog stays open for another try
    }
    fw::EndModal(*this, fw::IDOK);
}
