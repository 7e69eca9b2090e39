// The game window's VIP customer service: the launcher page's list starts the chat library,
// the VIP button and a heartbeat; texts from the library make the button blink and link the
// player to an agent; the VIP window shows the chat and, when it closes, ends it.
//
// Everything here runs on the UI thread. The library's callback runs on the library's own
// thread and only hands its text over through chat::ImInbox, which posts WM_IM_ARRIVED. The
// library's calls answer at once from what its own thread last learned, so calling them here
// never holds the window up.
#include <utility>

#include "fw/message_box.h"
#include "fw/trace.h"
#include "game/rudov_game.h"
#include "shared/hosts.h"
#include "shared/messages.h"
#include "side/vipmsg_wnd.h"
#include "ui/skin.h"

namespace {

constexpr const char* kMessageCaption = "RaduVove";
// A library without ongetlok, and one without setacc (the two texts differ in their
// exclamation mark).
constexpr const char* kNoCallbackExport = "DLL函数寻找失败!";
constexpr const char* kNoSetAccExport = "DLL函数寻找失败！";

}  // namespace

void CRudovGame::StartServices(const std::string& list) {
    chat::ServiceFields fields;
    if (!chat::ParseServiceList(list, fields)) return;
    m_strService = std::move(fields);
    m_bServiceParsed = true;
    m_bar.AllowVipButton();  // placed at every resize from now on
    const ILauncher* launcher = Launcher();
    const shared::Hosts& hosts = launcher ? launcher->Hosts() : shared::DefaultHosts();
    const std::string portal = hosts.portal;

    // The chat: the library (loaded once), init with this list, then the callback and the
    // button. A library that cannot be loaded, or has no init, starts nothing and says nothing.
    const fw::Handle self = handle();
    if (chat::LoadLibraryFrom(ui::GetModuleDir()) && chat::Init(hosts.cs, m_strService).value_or(false)) {
        if (!chat::RegisterCallback()) {
            fw::MessageBox(self, kNoCallbackExport, kMessageCaption, fw::MB_OK | fw::MB_ICONWARNING);
            if (!fw::Window::FromHandle(self)) return;  // closed while the box was up
        }
        m_bar.ShowVipButton();
    }
    ClearImPending();
    // A heartbeat in any case (also when the chat did not start); none after the chat ended.
    m_heartbeat.Start(Heartbeat::Address(portal, m_strService));
}

bool CRudovGame::CallSetAcc() {
    const std::optional<bool> linked = chat::SetAcc(m_strService);
    if (linked) return *linked;
    fw::MessageBox(handle(), kNoSetAccExport, kMessageCaption, fw::MB_OK | fw::MB_ICONWARNING);
    return false;
}

void CRudovGame::OpenVip() {
    if (m_pVipWnd) {
        m_pVipWnd->Show(fw::ShowCmd::Show);
        return;
    }
    const fw::Handle self = handle();
    if (CallSetAcc() && fw::Window::FromHandle(self)) LinkVip(1);
}

bool CRudovGame::LinkVip(int showReason) {
    std::optional<std::string> address = chat::SetLnk(m_strService);
    if (!address) return false;
    chat::ImInbox::SetLastText(std::move(*address));
    m_bImLinked = true;
    Post(WM_SHOW_VIP, static_cast<fw::WPARAM>(showReason));
    return true;
}

void CRudovGame::OnShowVip(int showReason) {
    if (m_pVipWnd) {
        m_pVipWnd->Show(fw::ShowCmd::Show);
        return;
    }
    auto* vip = new CVipmsgWnd(this, Launcher(), lastImText(), showReason != 0, [this] { ClearImPending(); });
    if (!vip->Created()) {
        delete vip;
        return;
    }
    m_pVipWnd = vip;
    vip->Show(fw::ShowCmd::Hide);  // it shows itself once its page has loaded, if asked to
}

void CRudovGame::OnVipNotify() {
    if (CVipmsgWnd* vip = std::exchange(m_pVipWnd, nullptr)) {
        vip->Send(fw::WM_CLOSE);
        delete vip;
    }
    ClearImPending();
    m_heartbeat.EndForGood();
    m_bImLinked = false;  // the next message or press links again
}

// ---- arriving messages and the blink --------------------------------------------------------

void CRudovGame::OnImArrived() {
    // A window whose customer service never started has no button to blink and no fields to
    // link with.
    if (!m_bServiceParsed) return;
    fw::TraceMark("vip-message");
    m_bImPending = true;
    ShowVipLook();
    // The blink starts once the window is visible; until then the window goes on with its
    // messages and looks again every 50 ms.
    if (IsVisible()) {
        StartBlink();
    } else {
        SetTimer(IDT_BLINK_WAIT_VISIBLE, 50);
    }
}

void CRudovGame::StartBlink() {
    KillTimer(IDT_BLINK_WAIT_VISIBLE);
    if (!m_bImLinked) {
        // The message links the player too; the VIP window is made, hidden.
        const fw::Handle self = handle();
        CallSetAcc();  // whatever it answers, the link is made
        if (!fw::Window::FromHandle(self)) return;
        LinkVip(0);
    }
    if (!m_bImPending) return;  // the message stopped waiting meanwhile
    if (m_blink.running()) return;  // a blink runs already: it goes on
    m_blink.Start();
    ShowVipLook();
    fw::TraceMark("vip-blink-start");
    m_bar.InvalidateVip();
    SetTimer(IDT_VIP_BLINK, VipBlink::kTickMs);
}

void CRudovGame::OnBlinkTick() {
    const VipBlink::Tick tick = m_blink.Advance(m_bImPending);
    ShowVipLook();
    switch (tick) {
    case VipBlink::Tick::Changed:
        fw::TraceMark(m_blink.buttonShown() ? "vip-blink-button" : "vip-blink-bare");
        m_bar.InvalidateVip();
        break;
    case VipBlink::Tick::Stopped:
        KillTimer(IDT_VIP_BLINK);
        fw::TraceMark("vip-blink-end");
        m_bar.InvalidateBar();
        break;
    }
}

void CRudovGame::ClearImPending() {
    m_bImPending = false;
    ShowVipLook();
    if (!m_blink.running()) return;
    m_blink.Stop();
    ShowVipLook();
    KillTimer(IDT_VIP_BLINK);
    fw::TraceMark("vip-blink-end");
    m_bar.InvalidateBar();  // the button is painted again
}

void CRudovGame::ShowVipLook() { m_bar.SetVipWaiting(m_bImPending, m_blink.buttonShown()); }
