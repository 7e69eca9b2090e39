// The game window's VIP customer service (vip_service.h).
#include "game/vip_service.h"

#include <utility>

#include "fw/message_box.h"
#include "fw/trace.h"
#include "game/title_bar.h"
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

CVipService::CVipService(fw::Window& window, LauncherRef launcher, CTitleBar& bar)
    : m_window(window), m_launcher(launcher), m_bar(bar) {}

void CVipService::ReceiveTexts() { chat::ImInbox::SetTarget(m_window.handle()); }

void CVipService::Start(const std::string& list) {
    chat::ServiceFields fields;
    if (!chat::ParseServiceList(list, fields)) return;
    m_strService = std::move(fields);
    m_bServiceParsed = true;
    m_bar.AllowVipButton();  // placed at every resize from now on
    const ILauncher* launcher = m_launcher.get();
    const shared::Hosts& hosts = launcher ? launcher->Hosts() : shared::DefaultHosts();
    const std::string portal = hosts.portal;

    // The chat: the library (loaded once), init with this list, then the callback and the
    // button. A library that cannot be loaded, or has no init, starts nothing and says nothing.
    const fw::Handle self = m_window.handle();
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

bool CVipService::CallSetAcc() {
    const std::optional<bool> linked = chat::SetAcc(m_strService);
    if (linked) return *linked;
    fw::MessageBox(m_window.handle(), kNoSetAccExport, kMessageCaption, fw::MB_OK | fw::MB_ICONWARNING);
    return false;
}

void CVipService::OnButtonPressed() {
    if (m_bServiceParsed) Open();
}

void CVipService::Open() {
    if (m_pVipWnd) {
        m_pVipWnd->Show(fw::ShowCmd::Show);
        return;
    }
    const fw::Handle self = m_window.handle();
    if (CallSetAcc() && fw::Window::FromHandle(self)) Link(1);
}

bool CVipService::Link(int showReason) {
    std::optional<std::string> address = chat::SetLnk(m_strService);
    if (!address) return false;
    chat::ImInbox::SetLastText(std::move(*address));
    m_bImLinked = true;
    m_window.Post(WM_SHOW_VIP, static_cast<fw::WPARAM>(showReason));
    return true;
}

void CVipService::OnShowVip(int showReason) {
    if (m_pVipWnd) {
        m_pVipWnd->Show(fw::ShowCmd::Show);
        return;
    }
    auto* vip = new CVipmsgWnd(&m_window, m_launcher.get(), chat::ImInbox::LastText(), showReason != 0,
                               [this] { ClearImPending(); });
    if (!vip->Created()) {
        delete vip;
        return;
    }
    m_pVipWnd = vip;
    vip->Show(fw::ShowCmd::Hide);  // it shows itself once its page has loaded, if asked to
}

void CVipService::OnVipNotify() {
    if (CVipmsgWnd* vip = std::exchange(m_pVipWnd, nullptr)) {
        vip->Send(fw::WM_CLOSE);
        delete vip;
    }
    ClearImPending();
    m_heartbeat.EndForGood();
    m_bImLinked = false;  // the next message or press links again
}

// ---- arriving messages and the blink --------------------------------------------------------

void CVipService::OnImArrived() {
    // A window whose customer service never started has no button to blink and no fields to
    // link with.
    if (!m_bServiceParsed) return;
    fw::TraceMark("vip-message");
    m_bImPending = true;
    ShowLook();
    // The blink starts once the window is visible; until then the window goes on with its
    // messages and looks again every 50 ms.
    if (m_window.IsVisible()) {
        StartBlink();
    } else {
        m_window.SetTimer(IDT_BLINK_WAIT_VISIBLE, 50);
    }
}

void CVipService::OnTimer(unsigned id) {
    switch (id) {
    case IDT_BLINK_WAIT_VISIBLE:
        if (m_window.IsVisible()) StartBlink();
        break;
    case IDT_VIP_BLINK: OnBlinkTick(); break;
    default: break;
    }
}

void CVipService::StartBlink() {
    m_window.KillTimer(IDT_BLINK_WAIT_VISIBLE);
    if (!m_bImLinked) {
        // The message links the player too; the VIP window is made, hidden.
        const fw::Handle self = m_window.handle();
        CallSetAcc();  // whatever it answers, the link is made
        if (!fw::Window::FromHandle(self)) return;
        Link(0);
    }
    if (!m_bImPending) return;      // the message stopped waiting meanwhile
    if (m_blink.running()) return;  // a blink runs already: it goes on
    m_blink.Start();
    ShowLook();
    fw::TraceMark("vip-blink-start");
    m_bar.InvalidateVip();
    m_window.SetTimer(IDT_VIP_BLINK, VipBlink::kTickMs);
}

void CVipService::OnBlinkTick() {
    const VipBlink::Tick tick = m_blink.Advance(m_bImPending);
    ShowLook();
    switch (tick) {
    case VipBlink::Tick::Changed:
        fw::TraceMark(m_blink.buttonShown() ? "vip-blink-button" : "vip-blink-bare");
        m_bar.InvalidateVip();
        break;
    case VipBlink::Tick::Stopped:
        m_window.KillTimer(IDT_VIP_BLINK);
        fw::TraceMark("vip-blink-end");
        m_bar.InvalidateBar();
        break;
    }
}

void CVipService::ClearImPending() {
    m_bImPending = false;
    ShowLook();
    if (!m_blink.running()) return;
    m_blink.Stop();
    ShowLook();
    m_window.KillTimer(IDT_VIP_BLINK);
    fw::TraceMark("vip-blink-end");
    m_bar.InvalidateBar();  // the button is painted again
}

void CVipService::ShowLook() { m_bar.SetVipWaiting(m_bImPending, m_blink.buttonShown()); }

// ---- the end ------------------------------------------------------------------------------

void CVipService::Stop() {
    for (unsigned id : {IDT_BLINK_WAIT_VISIBLE, IDT_VIP_BLINK}) m_window.KillTimer(id);
    m_blink.Stop();
    ShowLook();
    m_heartbeat.Stop();  // its workers end at once, in a pause or a request alike
}

void CVipService::Close() {
    if (CVipmsgWnd* vip = m_pVipWnd) {
        m_pVipWnd = nullptr;
        delete vip;
    }
    chat::ImInbox::ClearTarget(m_window.handle());  // later texts find no window
}
