#pragma once
// The game window's VIP customer service: the launcher page's ShowIM list starts the chat
// library, the VIP button and a heartbeat; texts from the library make the button blink and
// link the player to an agent; the VIP window shows the chat and, when it closes, ends it.
// The game window owns it and hands it its messages (WM_IM_ARRIVED, WM_SHOW_VIP,
// WM_VIP_NOTIFY), its timers and the VIP button's press; the service tells the title bar
// when the button shows and how it looks.
//
// Everything here runs on the UI thread. The library's callback runs on the library's own
// thread and only hands its text over through chat::ImInbox, which posts WM_IM_ARRIVED. The
// library's calls answer at once from what its own thread last learned, so calling them here
// never holds the window up.
#include <string>

#include "fw/window.h"
#include "game/chat_library.h"
#include "game/heartbeat.h"
#include "game/title_animations.h"
#include "shared/launcher.h"

class CTitleBar;
class CVipmsgWnd;

// The VIP button's timers, on the game window (its others: title_bar.h, rudov_game.h). A
// message arrived while the window was hidden: its visibility is looked at every 50 ms until
// the blink can start. Then the blink's 600 ms halves.
constexpr unsigned IDT_BLINK_WAIT_VISIBLE = 1006;
constexpr unsigned IDT_VIP_BLINK = 1007;

class CVipService {
public:
    // The customer service of `window`, whose title bar is `bar`.
    CVipService(fw::Window& window, LauncherRef launcher, CTitleBar& bar);
    CVipService(const CVipService&) = delete;
    CVipService& operator=(const CVipService&) = delete;

    // The game window is made: the library's texts come to it from now on.
    void ReceiveTexts();
    // The launcher page's ShowIM list (seven values, each followed by "|"): starts the chat
    // library, shows the VIP button when the library is ready, and starts a heartbeat. A list
    // without "|" starts nothing.
    void Start(const std::string& list);
    // The VIP button's press (once the list has come): the VIP window comes up, or the player
    // is linked to an agent first.
    void OnButtonPressed();
    void Open();
    // The link step: the chat page's address from the library; WM_SHOW_VIP follows with
    // `showReason` (1: the player pressed the button; 0: a message arrived). False when the
    // library has no setlnk.
    bool Link(int showReason);

    // The game window's messages for the service: a text arrived; the VIP window is to be
    // made or shown; the VIP window asks to close (which ends the chat). Its timers
    // (IDT_BLINK_WAIT_VISIBLE, IDT_VIP_BLINK).
    void OnImArrived();
    void OnShowVip(int showReason);
    void OnVipNotify();
    void OnTimer(unsigned id);

    // The game window closes: the blink and the heartbeat's workers stop.
    void Stop();
    // The game window is destroyed: the VIP window goes with it, later texts find no window.
    void Close();

    // The list has been parsed (the VIP button is placed at every resize from then on).
    bool parsed() const { return m_bServiceParsed; }
    const chat::ServiceFields& fields() const { return m_strService; }
    CVipmsgWnd* window() const { return m_pVipWnd; }
    const VipBlink& blink() const { return m_blink; }
    const Heartbeat& heartbeat() const { return m_heartbeat; }

private:
    void StartBlink();
    void OnBlinkTick();
    // m_bImPending cleared: a blink ends now and the button comes back.
    void ClearImPending();
    // The VIP button's look from m_bImPending and the blink (painted at the next repaint).
    void ShowLook();
    // setacc; a library without it says so (owned by the game window) and counts as a failure.
    bool CallSetAcc();

    fw::Window& m_window;
    const LauncherRef m_launcher;
    CTitleBar& m_bar;
    CVipmsgWnd* m_pVipWnd = nullptr;
    chat::ServiceFields m_strService;
    bool m_bServiceParsed = false;
    // A message waits (the VIP button blinks instead of being drawn); setlnk was called since
    // the VIP window last closed.
    bool m_bImPending = false;
    bool m_bImLinked = false;
    VipBlink m_blink;
    Heartbeat m_heartbeat;
};
