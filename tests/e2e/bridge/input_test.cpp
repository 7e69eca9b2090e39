// The user's input through the real X server (xdotool; without it these scenarios are
// skipped): keys the page does not take, the context menu, and the new windows of one click.
#include "bridge_e2e.h"

namespace bridge_e2e {
namespace {

using Input = Scenario;

// A key the page does not take reaches the window once, although the engine hands the event
// back to the window after the page has declined it.
TEST_F(Input, KeysReachTheWindowOnce) {
    if (!HaveXdotool()) GTEST_SKIP() << "no xdotool";
    class CountingWindow : public fw::Window {
    public:
        int f9 = 0;
        bool PreTranslateMessage(const fw::Msg& m) override {
            if (m.message == fw::WM_KEYDOWN && m.wParam == fw::VK_F9) ++f9;
            return false;
        }
    } win;
    fw::CreateParams p;
    p.caption = "bridge-e2e-keys";
    p.style = fw::kPopup | fw::kVisible;
    p.rect = fw::Rect::FromXYWH(100, 100, 400, 300);
    win.Create(p);
    auto browser = fw::BrowserControl::Create(win, 174, fw::Rect::FromXYWH(0, 0, 400, 300));
    ASSERT_TRUE(browser) << "keys-once: no control";
    Events ev;
    browser->SetEvents(&ev);
    browser->Navigate("data:text/html,<p>keys</p>");
    WaitFor([&] { return !ev.completed.empty(); }, 10000);
    win.SetForeground();
    browser->Focus();
    Settle(300);
    Xdotool("key F9");
    Settle(600);
    EXPECT_EQ(win.f9, 1) << "keys-reach-the-window-once";
    browser.reset();
    win.Destroy();
    Settle(50);
}

TEST_F(Input, ContextMenuShownWithoutHost) {
    if (!HaveXdotool()) GTEST_SKIP() << "no xdotool";
    Hosted f(true, 0x0C, false);
    f.Load("data:text/html,<p>menu</p>");
    f.win.SetForeground();
    Settle(300);
    Xdotool("mousemove 500 500");
    Settle(150);
    Xdotool("click 3");
    bool shown = WaitFor(MenuShown, 2000);
    EXPECT_TRUE(shown) << "context-menu-when-host-lets-it";
    Xdotool("key Escape");
    Settle(200);
}

// One click whose script opens three windows: each asked for, only the first marked as the
// first of the user's action; the next click's first is marked again.
TEST_F(Input, NewWindowsOfOneClick) {
    if (!HaveXdotool()) GTEST_SKIP() << "no xdotool";
    Hosted f(true);
    f.Load(
        "data:text/html,<button id=b style='position:absolute;left:0;top:0;width:300px;height:200px' "
        "onclick=\"for(var i=0;i<3;i++)window.open('http://127.0.0.1:65533/w'+i)\">open</button>");
    f.win.SetForeground();
    Settle(300);
    for (int round = 0; round < 2; ++round) {
        Xdotool("mousemove 200 200");  // the window is at (100, 100)
        Settle(150);
        Xdotool("click 1");
        WaitFor([&] { return f.ev.newWindows.size() >= 3u * (round + 1); }, 3000);
    }
    Settle(300);
    const std::vector<unsigned> want{fw::NWMF_USERINITED | fw::NWMF_FIRST, fw::NWMF_USERINITED, fw::NWMF_USERINITED,
                                     fw::NWMF_USERINITED | fw::NWMF_FIRST, fw::NWMF_USERINITED, fw::NWMF_USERINITED};
    EXPECT_EQ(f.ev.newWindowFlags, want) << "new-window-flags-first-of-each-click";
    EXPECT_EQ(PopupViews(), 0) << "new-windows-of-one-click-cancelled";
}

}  // namespace
}  // namespace bridge_e2e
