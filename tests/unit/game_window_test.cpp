// Over 500 lines: one suite, the game window's life, title bar and keys on one fixture.
// The game window on the headless desktop: size and place from the screen, the title bar's
// layout, painting and mouse rules, maximising, moving and edge resizing, keys, the game
// page's events, the side windows it opens, and how it and the launcher meet through their
// real messages.
#include "game_fixture.h"

#include "app/static_ini.h"
#include "fw/dialog.h"
#include "side/jihuo_wnd.h"
#include "side/pay_wnd.h"

using namespace game_test;

namespace {

class GameWindow : public GameTest {};

}  // namespace

// ---- creation and layout ----------------------------------------------------------------

TEST_F(GameWindow, SizeAndPlaceComeFromTheScreen) {
    struct Case {
        fw::Size screen;
        fw::Rect rect;
    } cases[] = {
        {{1280, 1024}, fw::Rect::FromXYWH(0, 83, 1280, 820)},
        {{1920, 800}, fw::Rect::FromXYWH(310, 21, 1300, 720)},
        {{1920, 1080}, fw::Rect::FromXYWH(310, 111, 1300, 820)},
        {{1299, 819}, fw::Rect::FromXYWH(0, 21, 1299, 739)},  // one short of each limit
    };
    StartLauncher();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.screen.cx << "x" << c.screen.cy);
        hl::SetScreen(c.screen, {0, 0, c.screen.cx, c.screen.cy - 40});
        CRudovGame game(*launcher);
        ASSERT_TRUE(game.Created());
        EXPECT_EQ(hl::Info(game).rect, c.rect);
        EXPECT_EQ(Button(game, CTitleBar::kClose).right, c.rect.Width() - 7);  // laid out for its width
        EXPECT_EQ(PageOf(game)->rect(), (fw::Rect{2, 40, c.rect.Width() - 2, c.rect.Height() - 2}));
    }
}

TEST_F(GameWindow, CreationMakesAHiddenWindowWithTheGamePage) {
    CMainWnd& l = StartLauncher();
    l.SetGameUrl("http://g.test/play?s=1");
    CRudovGame& g = MakeDirect();
    EXPECT_EQ(GameWindows(), std::vector<CRudovGame*>{&g});
    const hl::WindowInfo info = hl::Info(g);
    EXPECT_FALSE(info.visible);
    EXPECT_EQ(info.caption, "LumoDrakmoor");
    EXPECT_EQ(g.style() & (fw::kPopup | fw::kMinimizeBox | fw::kMaximizeBox | fw::kChild),
              fw::kPopup | fw::kMinimizeBox | fw::kMaximizeBox);
    EXPECT_EQ(g.parent(), nullptr);
    hl::ScriptedBrowser* page = PageOf(g);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->navigations(), (std::vector<std::string>{"http://g.test/play?s=1"}));
    EXPECT_TRUE(page->silentFlag());
    EXPECT_TRUE(page->shown());
    // The game page gets no window.external, and the host still hides border and menu.
    EXPECT_FALSE(page->CallExternal("WD_JAPI", {std::u16string(u"OpenGame")}).hasExternal);
    EXPECT_EQ(page->HostFlags(), 0x0Cu);
    EXPECT_FALSE(page->ContextMenuWouldShow());
    // The account counts as bound: no binding button, no animation timer.
    EXPECT_TRUE(BindButton(g).IsEmpty());
    EXPECT_TRUE(hl::Info(g).timers.empty());
}

TEST_F(GameWindow, WithoutItsBrowserThereIsNoGameWindowAndTheLauncherStays) {
    CMainWnd& l = StartLauncher();
    hl::FailNextBrowserCreation();
    CallPage("OpenGame", "http://g.test/play|x|S1");
    EXPECT_EQ(l.gameWindow(), nullptr);
    EXPECT_TRUE(GameWindows().empty());
    EXPECT_TRUE(hl::Info(l).visible);
    // The next try works.
    CRudovGame& g = OpenFromPage();
    EXPECT_TRUE(g.Created());
    EXPECT_FALSE(hl::Info(l).visible);
}

TEST_F(GameWindow, TitleBarLayoutAt1300) {
    CRudovGame& g = MakeDirect();
    ASSERT_EQ(hl::Info(g).rect.Width(), 1300);
    EXPECT_EQ(Button(g, CTitleBar::kPay), (fw::Rect{909, 9, 984, 31}));
    EXPECT_EQ(Button(g, CTitleBar::kReturn), (fw::Rect{989, 9, 1054, 31}));
    EXPECT_EQ(Button(g, CTitleBar::kClear), (fw::Rect{1059, 9, 1134, 31}));
    EXPECT_EQ(Button(g, CTitleBar::kBossKey), (fw::Rect{1139, 9, 1204, 31}));
    EXPECT_EQ(Button(g, CTitleBar::kMin), (fw::Rect{1212, 7, 1237, 32}));
    EXPECT_EQ(Button(g, CTitleBar::kMax), (fw::Rect{1240, 7, 1265, 32}));
    EXPECT_EQ(Button(g, CTitleBar::kClose), (fw::Rect{1268, 7, 1293, 32}));
    EXPECT_EQ(DragArea(g), (fw::Rect{0, 0, 904, 40}));
    EXPECT_TRUE(VipButton(g).IsEmpty());
    ExpectButtonsDrawnInPlace(g);

    // Wider: everything follows the right edge.
    g.SetPos(fw::Rect::FromXYWH(0, 0, 1600, 900));
    EXPECT_EQ(Button(g, CTitleBar::kPay), (fw::Rect{1209, 9, 1284, 31}));
    EXPECT_EQ(Button(g, CTitleBar::kClose), (fw::Rect{1568, 7, 1593, 32}));
    EXPECT_EQ(DragArea(g), (fw::Rect{0, 0, 1204, 40}));
    EXPECT_EQ(PageOf(g)->rect(), (fw::Rect{2, 40, 1598, 898}));
    ExpectButtonsDrawnInPlace(g);
}

TEST_F(GameWindow, TheBindingButtonShortensTheDragArea) {
    StartLauncher().SetAccountBound(false);
    CRudovGame& g = MakeDirect();
    EXPECT_EQ(BindButton(g), (fw::Rect{768, 9, 904, 31}));
    EXPECT_EQ(DragArea(g), (fw::Rect{0, 0, 763, 40}));
    EXPECT_EQ(hl::Info(g).timers, (std::vector<unsigned>{IDT_BIND_ANIMATION}));
    g.SetPos(fw::Rect::FromXYWH(0, 0, 1600, 900));
    EXPECT_EQ(BindButton(g), (fw::Rect{1068, 9, 1204, 31}));
    EXPECT_EQ(DragArea(g), (fw::Rect{0, 0, 1063, 40}));
    // Bound meanwhile: the next size change leaves the button out.
    launcher->SetAccountBound(true);
    g.SetPos(fw::Rect::FromXYWH(0, 0, 1300, 820));
    EXPECT_TRUE(BindButton(g).IsEmpty());
    EXPECT_EQ(DragArea(g), (fw::Rect{0, 0, 904, 40}));
}

// ---- the place kept between games ---------------------------------------------------------

TEST_F(GameWindow, ItsPlaceIsKeptForTheNextGameAndTheNextStart) {
    const fw::Rect second{1920, 0, 4480, 1440}, secondWork{1920, 0, 4480, 1400};
    hl::SetMonitors({{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}, {second, secondWork}});
    StartLauncher();
    LauncherPage()->CompleteLoad();
    CRudovGame* g = &OpenFromPage();
    auto clickMax = [&] {
        hl::MouseMove(*g, Inside(Button(*g, CTitleBar::kMax)));
        hl::Click(*g, Inside(Button(*g, CTitleBar::kMax)));
    };
    auto leaveAndReopen = [&] {
        launcher->Send(WM_GAME_CLOSED);
        g = &OpenFromPage();
    };
    clickMax();  // restored
    const fw::Rect moved = fw::Rect::FromXYWH(100, 50, 1200, 760);
    g->SetPos(moved);
    leaveAndReopen();
    EXPECT_FALSE(hl::Info(*g).maximized);
    EXPECT_EQ(hl::Info(*g).rect, moved);
    const app::StaticIniValues ini = app::ReadStaticIni(dir.file("static.ini"));
    EXPECT_EQ(ini.gameRect, (fw::Rect{100, 50, 1300, 810}));
    EXPECT_EQ(ini.gameMaximized, false);
    EXPECT_EQ(ini.uid, "U7");  // the rest stays
    EXPECT_EQ(ini.hosts.pay, "pay.test");

    // Maximised on the second monitor, it fills that monitor's work area, there again in
    // the next game and after a new start.
    const fw::Rect onSecond = fw::Rect::FromXYWH(2000, 100, 1300, 820);
    g->SetPos(onSecond);
    clickMax();
    EXPECT_EQ(hl::Info(*g).rect, secondWork);
    leaveAndReopen();
    EXPECT_EQ(hl::Info(*g).rect, secondWork);
    launcher->Send(fw::WM_CLOSE);  // quitting while playing keeps the place as well
    StartLauncher();
    LauncherPage()->CompleteLoad();
    g = &OpenFromPage();
    EXPECT_TRUE(hl::Info(*g).maximized);
    EXPECT_EQ(hl::Info(*g).rect, secondWork);
    clickMax();
    EXPECT_EQ(hl::Info(*g).rect, onSecond);
}

TEST_F(GameWindow, AKeptPlaceThatDoesNotFitGivesTheDefault) {
    const fw::Rect fallback = fw::Rect::FromXYWH(310, 111, 1300, 820);
    const fw::Rect second{-1600, 0, 0, 1200};
    hl::SetMonitors({{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}, {second, second}});
    struct Case {
        const char* text;
        fw::Rect rect;
    } cases[] = {
        {"100, 50, 1300, 810", {100, 50, 1300, 810}},
        {"-1500,10,-200,830", {-1500, 10, -200, 830}},  // on the second monitor
        {"1,2,3", fallback},
        {"a,b,c,d", fallback},
        {"100,50,1300,810,9", fallback},
        {"1300,810,100,50", fallback},        // negative size
        {"100,50,1100,700", fallback},        // below the smallest size
        {"0,0,1920,1041", fallback},          // taller than the work area
        {"0,0,99999999,99999999", fallback},  // out of range
        {"2000,100,3300,920", fallback},      // on no monitor
        {"100,-30,1400,790", fallback},       // the title bar mostly above the screen
        {"-1620,-1500,-320,-680", fallback},  // nothing of the title bar on a monitor
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testing_support::WriteFile(dir.file("static.ini"),
                                   std::string("[dmor]\nstart=1\ngameMax=0\ngameRect=") + c.text + "\n");
        CMainWnd l(CMainWnd::kNormalStart);
        EXPECT_FALSE(l.GameMaximized());
        CRudovGame game(l);
        EXPECT_EQ(hl::Info(game).rect, c.rect);
    }
    // The monitor unplugged: the place on it is given up.
    testing_support::WriteFile(dir.file("static.ini"), "[dmor]\nstart=1\ngameRect=-1500,10,-200,830\n");
    hl::SetScreen({1920, 1080}, {0, 0, 1920, 1040});
    CMainWnd l(CMainWnd::kNormalStart);
    CRudovGame game(l);
    EXPECT_EQ(hl::Info(game).rect, fallback);
}

// ---- the launcher and the game window -----------------------------------------------------

TEST_F(GameWindow, TheLauncherPageOpensTheGameMaximisedOverTheWorkArea) {
    CMainWnd& l = StartLauncher();
    LauncherPage()->CompleteLoad();
    CRudovGame& g = OpenFromPage("http://g.test/play|x|S1 龙焰");
    EXPECT_EQ(GameWindows(), std::vector<CRudovGame*>{&g});
    EXPECT_FALSE(hl::Info(l).visible);
    EXPECT_FALSE(hl::Info(*l.pageDialog()).visible);
    const hl::WindowInfo info = hl::Info(g);
    EXPECT_TRUE(info.visible);
    EXPECT_TRUE(info.maximized);
    EXPECT_EQ(info.rect, (fw::Rect{0, 0, 1920, 1040}));
    EXPECT_EQ(Button(g, CTitleBar::kClose), (fw::Rect{1888, 7, 1913, 32}));
    ExpectButtonsDrawnInPlace(g);
    EXPECT_EQ(PageOf(g)->rect(), (fw::Rect{2, 40, 1918, 1038}));
    EXPECT_EQ(PageOf(g)->navigations(), (std::vector<std::string>{"http://g.test/play"}));
    EXPECT_TRUE(l.GameMaximized());
}

TEST_F(GameWindow, LeavingByReturnAsksAndTheLauncherComesBackReloaded) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* launcherPage = LauncherPage();
    launcherPage->CompleteLoad();
    CRudovGame& g = OpenFromPage();
    const int refreshes = launcherPage->refreshes();

    // Cancel: everything stays.
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kReturn)));
    EXPECT_EQ(Look(g, CTitleBar::kReturn), 1);
    hl::Click(g, Inside(Button(g, CTitleBar::kReturn)));
    hl::Pump();
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    const hl::MessageBoxCall& box = hl::MessageBoxes()[0];
    EXPECT_EQ(box.owner, fw::kNoWindow);
    EXPECT_EQ(box.text, "确定要退出当前正在玩的游戏吗？");
    EXPECT_EQ(box.caption, "退出提示");
    EXPECT_EQ(box.flags, fw::MB_ICONQUESTION | fw::MB_OKCANCEL);
    EXPECT_EQ(l.gameWindow(), &g);
    EXPECT_EQ(Look(g, CTitleBar::kReturn), 0);
    EXPECT_FALSE(hl::Info(l).visible);

    // OK: the game window goes, the launcher is back with its page reloaded.
    hl::QueueMessageBoxAnswer(fw::IDOK);
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kReturn)));
    hl::Click(g, Inside(Button(g, CTitleBar::kReturn)));
    hl::Pump();
    EXPECT_EQ(l.gameWindow(), nullptr);
    EXPECT_TRUE(GameWindows().empty());
    EXPECT_TRUE(hl::Info(l).visible);
    EXPECT_EQ(hl::Foreground(), l.handle());
    EXPECT_EQ(launcherPage->refreshes(), refreshes + 1);
    EXPECT_TRUE(hl::Info(*l.pageDialog()).visible);
}

TEST_F(GameWindow, CloseButtonNeedsPressAndReleaseOnIt) {
    CMainWnd& l = StartLauncher();
    CRudovGame& g = OpenFromPage();
    // A press on close followed by a release elsewhere does nothing.
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kClose)));
    hl::LButtonDown(g, Inside(Button(g, CTitleBar::kClose)));
    EXPECT_EQ(Look(g, CTitleBar::kClose), 2);
    hl::MouseMove(g, {600, 300});
    hl::LButtonUp(g, {600, 300});
    EXPECT_TRUE(hl::MessageBoxes().empty());
    EXPECT_EQ(Look(g, CTitleBar::kClose), 0);
    // A release on close without a press does nothing either.
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kClose)));
    hl::LButtonUp(g, Inside(Button(g, CTitleBar::kClose)));
    EXPECT_TRUE(hl::MessageBoxes().empty());
    // Press and release: the question; OK leaves the game.
    hl::QueueMessageBoxAnswer(fw::IDOK);
    hl::Click(g, Inside(Button(g, CTitleBar::kClose)));
    hl::Pump();
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    EXPECT_EQ(l.gameWindow(), nullptr);
    EXPECT_TRUE(hl::Info(l).visible);
}

TEST_F(GameWindow, ClosedByTheSystemTheLauncherBehavesAsIfTheUserLeft) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* launcherPage = LauncherPage();
    launcherPage->CompleteLoad();

    // Alt+F4.
    CRudovGame* g = &OpenFromPage();
    hl::KeyDown(*g, fw::VK_F4, true);
    hl::Pump();
    EXPECT_EQ(l.gameWindow(), nullptr);
    EXPECT_TRUE(GameWindows().empty());
    EXPECT_TRUE(hl::Info(l).visible);
    EXPECT_EQ(launcherPage->refreshes(), 1);
    EXPECT_TRUE(hl::MessageBoxes().empty());  // no question: the system's close

    // The system's close command; and a new game opens as usual afterwards.
    g = &OpenFromPage("http://g.test/two|x|S2");
    EXPECT_FALSE(hl::Info(l).visible);
    EXPECT_EQ(PageOf(*g)->navigations().back(), "http://g.test/two");
    g->Send(fw::WM_SYSCOMMAND, fw::SC_CLOSE, 0);
    hl::Pump();
    EXPECT_EQ(l.gameWindow(), nullptr);
    EXPECT_TRUE(hl::Info(l).visible);
    EXPECT_EQ(launcherPage->refreshes(), 2);

    // Closed by the launcher itself: no second notice comes back.
    g = &OpenFromPage();
    hl::QueueMessageBoxAnswer(fw::IDOK);
    hl::MouseMove(*g, Inside(Button(*g, CTitleBar::kReturn)));
    hl::Click(*g, Inside(Button(*g, CTitleBar::kReturn)));
    hl::Pump();
    EXPECT_EQ(launcherPage->refreshes(), 3);
    EXPECT_TRUE(hl::Info(l).visible);
}

// The game window holds the launcher by the launcher's window: once that has gone (and the
// object with it), whatever the game window does works without it and reads nothing of it.
TEST_F(GameWindow, OutlivingTheLauncherTouchesNothingOfIt) {
    CMainWnd& l = StartLauncher();
    l.SetAccountBound(false);
    ASSERT_EQ(l.BossKeyName(), "F10");
    l.SetPayParam("http://pay.test/qr?order=7");
    l.SetGameUrl("http://g.test/play");
    CRudovGame& g = MakeDirect();
    g.Show(fw::ShowCmd::Show);
    ASSERT_FALSE(BindButton(g).IsEmpty());
    const std::size_t navigations = PageOf(g)->navigations().size();
    launcher.reset();

    hl::KeyDown(g, fw::VK_F9);  // the game address was the launcher's
    EXPECT_EQ(PageOf(g)->navigations().size(), navigations);
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kBossKey)));
    EXPECT_TRUE(g.tooltipVisible());
    EXPECT_EQ(g.tooltipText(), "");
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    hl::Click(g, Inside(Button(g, CTitleBar::kPay)));
    EXPECT_EQ(OpenWindow<CPayWnd>(g), nullptr);
    EXPECT_TRUE(hl::ShellOpens().empty());
    hl::Click(g, Inside(BindButton(g)));
    EXPECT_EQ(OpenWindow<CJihuoWnd>(g), nullptr);
    // Without a launcher the account counts as bound: the animation ends with its cycle.
    hl::AdvanceClock(3000);
    EXPECT_FALSE(g.bindAnimation().running());
    // Maximising follows the window's own state.
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kMax)));
    hl::LButtonDown(g, Inside(Button(g, CTitleBar::kMax)));
    hl::LButtonUp(g, Inside(Button(g, CTitleBar::kMax)));
    EXPECT_TRUE(hl::Info(g).maximized);
    hl::PaintWindow(g);

    // Closed by the system: there is no launcher to tell.
    g.Send(fw::WM_SYSCOMMAND, fw::SC_CLOSE, 0);
    hl::Pump();
    EXPECT_FALSE(g.IsWindow());
    EXPECT_TRUE(GameWindows().empty());
}

// ---- mouse --------------------------------------------------------------------------------

TEST_F(GameWindow, HoverOneButtonAtATimeAndTheBossKeyHint) {
    CMainWnd& l = StartLauncher();
    ASSERT_TRUE(l.ChangeBossKey(0x020079, "Ctrl + F10"));
    CRudovGame& g = OpenFromPage();
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    EXPECT_EQ(Look(g, CTitleBar::kPay), 1);
    EXPECT_TRUE(hl::Info(g).trackingLeave);
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kReturn)));
    EXPECT_EQ(Look(g, CTitleBar::kPay), 0);
    EXPECT_EQ(Look(g, CTitleBar::kReturn), 1);
    EXPECT_FALSE(g.tooltipVisible());

    hl::MouseMove(g, Inside(Button(g, CTitleBar::kBossKey)));
    EXPECT_TRUE(g.tooltipVisible());
    EXPECT_EQ(g.tooltipText(), "Ctrl + F10");
    // Shown once: a new name shows only the next time the hint appears.
    ASSERT_TRUE(l.ChangeBossKey(0x7A, "F11"));
    hl::MouseMove(g, {Inside(Button(g, CTitleBar::kBossKey)).x + 1, Inside(Button(g, CTitleBar::kBossKey)).y});
    EXPECT_EQ(g.tooltipText(), "Ctrl + F10");
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kClear)));
    EXPECT_FALSE(g.tooltipVisible());
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kBossKey)));
    EXPECT_EQ(g.tooltipText(), "F11");

    // Leaving the window hides the hint; the states stay as they were.
    hl::MouseMove(g, {5000, 5000});
    EXPECT_FALSE(hl::Info(g).trackingLeave);
    EXPECT_FALSE(g.tooltipVisible());
    EXPECT_EQ(Look(g, CTitleBar::kBossKey), 1);

    // Elsewhere in the window: every button back to normal; the next leave is watched again.
    hl::MouseMove(g, {500, 500});
    EXPECT_TRUE(hl::Info(g).trackingLeave);
    for (int k : {CTitleBar::kClose, CTitleBar::kMin, CTitleBar::kMax, CTitleBar::kReturn, CTitleBar::kClear,
                  CTitleBar::kBossKey, CTitleBar::kPay})
        EXPECT_EQ(Look(g, k), 0) << k;
}

TEST_F(GameWindow, MaximiseRestoreAndTheTitleBar) {
    CMainWnd& l = StartLauncher();
    CRudovGame& g = OpenFromPage();
    ASSERT_TRUE(hl::Info(g).maximized);
    const fw::Point inDrag{300, 20};
    ASSERT_TRUE(DragArea(g).Contains(inDrag));

    // Maximised: neither dragged nor resized.
    hl::LButtonDown(g, inDrag);
    hl::LButtonUp(g, inDrag);
    EXPECT_EQ(hl::Info(g).moveDrags, 0);
    hl::LButtonDown(g, {1, 500});
    hl::LButtonUp(g, {1, 500});
    EXPECT_EQ(hl::Info(g).resizeDrags, 0);

    // The maximise button restores.
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kMax)));
    hl::Click(g, Inside(Button(g, CTitleBar::kMax)));
    EXPECT_FALSE(l.GameMaximized());
    EXPECT_FALSE(hl::Info(g).maximized);
    EXPECT_EQ(hl::Info(g).rect, fw::Rect::FromXYWH(310, 111, 1300, 820));
    EXPECT_EQ(Button(g, CTitleBar::kClose), (fw::Rect{1268, 7, 1293, 32}));
    ExpectButtonsDrawnInPlace(g);

    // Restored: the title bar drags, the edges resize down to 1050 x 700.
    hl::LButtonDown(g, inDrag);
    hl::DragBy(g, 40, 10);
    hl::LButtonUp(g, inDrag);
    EXPECT_EQ(hl::Info(g).moveDrags, 1);
    EXPECT_EQ(hl::Info(g).rect, fw::Rect::FromXYWH(350, 121, 1300, 820));
    hl::LButtonDown(g, {1299, 400});
    EXPECT_EQ(hl::Info(g).lastResizeHit, fw::HTRIGHT);
    hl::DragBy(g, -600, 0);
    hl::LButtonUp(g, {700, 400});
    EXPECT_EQ(hl::Info(g).rect.Width(), 1050);
    EXPECT_EQ(Button(g, CTitleBar::kClose).right, 1050 - 7);
    ExpectButtonsDrawnInPlace(g);

    // A double click on the title bar maximises again.
    hl::LButtonDblClk(g, inDrag);
    EXPECT_TRUE(l.GameMaximized());
    EXPECT_TRUE(hl::Info(g).maximized);
    EXPECT_EQ(hl::Info(g).rect, (fw::Rect{0, 0, 1920, 1040}));

    // A restore from elsewhere (the system menu) leaves the launcher's flag: still no drag,
    // and the next toggle restores.
    g.Send(fw::WM_SYSCOMMAND, fw::SC_RESTORE, 0);
    EXPECT_FALSE(hl::Info(g).maximized);
    EXPECT_TRUE(l.GameMaximized());
    const int drags = hl::Info(g).moveDrags;
    hl::LButtonDown(g, inDrag);
    hl::LButtonUp(g, inDrag);
    EXPECT_EQ(hl::Info(g).moveDrags, drags);
    hl::LButtonDblClk(g, inDrag);
    EXPECT_FALSE(l.GameMaximized());
    EXPECT_FALSE(hl::Info(g).maximized);
}

TEST_F(GameWindow, EdgesHitTestInOrderWithTheirCursors) {
    CRudovGame& g = MakeDirect();  // 1300 x 820, not maximised
    const fw::Rect wr = hl::Info(g).rect;
    auto hit = [&](int x, int y) {
        return static_cast<int>(g.Send(fw::WM_NCHITTEST, 0, fw::MakePointParam(wr.left + x, wr.top + y)));
    };
    const int R = 1300, B = 820;
    // Corners before edges, and the corners reach 2 pixels past the right and bottom.
    EXPECT_EQ(hit(0, B - 1), fw::HTBOTTOMLEFT);
    EXPECT_EQ(hit(2, 2), fw::HTTOPLEFT);
    EXPECT_EQ(hit(R + 1, -3), fw::HTTOPRIGHT);
    EXPECT_EQ(hit(R + 1, B + 1), fw::HTBOTTOMRIGHT);
    EXPECT_EQ(hit(0, 400), fw::HTLEFT);
    EXPECT_EQ(hit(3, 3), fw::HTTOP);  // right of the corner, in the 4-row top edge
    EXPECT_EQ(hit(600, 4), fw::HTCLIENT);
    EXPECT_EQ(hit(600, B - 3), fw::HTBOTTOM);
    EXPECT_EQ(hit(R - 3, 400), fw::HTRIGHT);
    EXPECT_EQ(hit(R - 4, 400), fw::HTCLIENT);

    g.Show(fw::ShowCmd::Show);
    const struct {
        fw::Point p;
        fw::Cursor c;
    } cursors[] = {
        {{600, B - 1}, fw::Cursor::SizeNS}, {{R - 1, 400}, fw::Cursor::SizeWE}, {{1, 1}, fw::Cursor::SizeNWSE},
        {{1, B - 1}, fw::Cursor::SizeNESW}, {{600, 400}, fw::Cursor::Arrow},
    };
    for (const auto& c : cursors) {
        hl::MouseMove(g, c.p);
        EXPECT_EQ(hl::Info(g).cursor, c.c) << c.p.x << "," << c.p.y;
    }
}

TEST_F(GameWindow, MinimiseByButtonAndBySystemCommand) {
    CRudovGame& g = OpenFromPage();
    const fw::Rect close = Button(g, CTitleBar::kClose);
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kMin)));
    hl::LButtonDown(g, Inside(Button(g, CTitleBar::kMin)));
    EXPECT_EQ(Look(g, CTitleBar::kMin), 2);
    hl::LButtonUp(g, Inside(Button(g, CTitleBar::kMin)));
    EXPECT_TRUE(hl::Info(g).minimized);
    EXPECT_EQ(Look(g, CTitleBar::kMin), 0);
    EXPECT_EQ(Button(g, CTitleBar::kClose), close);  // the layout stays while minimised
    ExpectButtonsDrawnInPlace(g);
    g.Show(fw::ShowCmd::Restore);
    EXPECT_TRUE(hl::Info(g).maximized);
    EXPECT_EQ(Button(g, CTitleBar::kClose), close);
    ExpectButtonsDrawnInPlace(g);
    // A posted minimise command is taken before dispatch.
    g.Post(fw::WM_SYSCOMMAND, fw::WPARAM{fw::SC_MINIMIZE});
    hl::Pump();
    EXPECT_TRUE(hl::Info(g).minimized);
}

// ---- keys and the game page ---------------------------------------------------------------

TEST_F(GameWindow, F9ReloadsTheLaunchersGameAddressAndEscapeIsSwallowed) {
    CMainWnd& l = StartLauncher();
    CRudovGame& g = OpenFromPage("http://g.test/play|x|S1");
    hl::ScriptedBrowser* page = PageOf(g);
    page->CompleteLoad();
    page->BeforeNavigate("http://elsewhere.test/page");
    page->NavigateComplete("http://elsewhere.test/page");
    hl::KeyDown(g, fw::VK_F9);
    EXPECT_EQ(page->navigations().back(), "http://g.test/play");
    l.SetGameUrl("http://g.test/moved");
    hl::KeyDown(g, fw::VK_F9);
    EXPECT_EQ(page->navigations().back(), "http://g.test/moved");
    EXPECT_EQ(page->navigations().size(), 3u);

    EXPECT_TRUE(g.PreTranslateMessage(fw::Msg{g.handle(), fw::WM_KEYDOWN, fw::VK_ESCAPE, 0}));
    EXPECT_FALSE(g.PreTranslateMessage(fw::Msg{g.handle(), fw::WM_KEYDOWN, fw::VK_F9, 0}));
    EXPECT_FALSE(g.PreTranslateMessage(fw::Msg{g.handle(), fw::WM_KEYDOWN, fw::VK_RETURN, 0}));
    EXPECT_FALSE(g.PreTranslateMessage(fw::Msg{g.handle(), fw::WM_KEYUP, fw::VK_ESCAPE, 0}));
}

TEST_F(GameWindow, LoadGameAddressesNavigateToTheirHttpPart) {
    CRudovGame& g = OpenFromPage();
    hl::ScriptedBrowser* page = PageOf(g);
    EXPECT_FALSE(page->BeforeNavigate("client://loadgame/?to=http://g.test/real?a=1&b=2"));
    EXPECT_EQ(page->navigations().back(), "http://g.test/real?a=1&b=2");
    const size_t count = page->navigations().size();
    // Without an http address after the marker nothing is navigated.
    EXPECT_FALSE(page->BeforeNavigate("client://loadgame"));
    EXPECT_FALSE(page->BeforeNavigate("client://loadgame?to=https://g.test/secure"));
    EXPECT_FALSE(page->BeforeNavigate("http://g.test/?back=client://loadgame"));
    EXPECT_FALSE(page->BeforeNavigate("http://g.test/ordinary"));
    EXPECT_EQ(page->navigations().size(), count);
    // New windows are left to the browser; documents complete without ado.
    EXPECT_FALSE(page->NewWindow("http://g.test/popup"));
    page->DocumentComplete("http://g.test/frame");
    page->TitleChange("Drakmoor");
    EXPECT_TRUE(g.IsWindow());
}

// ---- side windows and the boss key --------------------------------------------------------

TEST_F(GameWindow, PaymentOpensTheSiteOrThePaymentWindowOnce) {
    CMainWnd& l = StartLauncher();
    CRudovGame& g = OpenFromPage();
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    hl::Click(g, Inside(Button(g, CTitleBar::kPay)));
    EXPECT_EQ(hl::ShellOpens(), (std::vector<std::string>{"http://pay.test/?g=dmor"}));
    EXPECT_EQ(OpenWindow<CPayWnd>(g), nullptr);
    EXPECT_EQ(Look(g, CTitleBar::kPay), 0);

    l.SetPayParam("http://pay.test/qr?order=7");
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    hl::Click(g, Inside(Button(g, CTitleBar::kPay)));
    CPayWnd* pay = OpenWindow<CPayWnd>(g);
    ASSERT_NE(pay, nullptr);
    EXPECT_FALSE(hl::Info(*pay).visible);  // until its page has loaded
    EXPECT_EQ(pay->parent(), &g);
    EXPECT_EQ(hl::Info(*pay).rect, fw::Rect::FromXYWH(1920 - 400, 40, 238, 270));
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    hl::Click(g, Inside(Button(g, CTitleBar::kPay)));
    EXPECT_EQ(OpenWindow<CPayWnd>(g), pay);
    EXPECT_EQ(hl::ShellOpens().size(), 1u);

    // Restoring the game window moves it along the right edge.
    g.ToggleMaximize();
    EXPECT_EQ(hl::Info(*pay).rect, fw::Rect::FromXYWH(310 + 1300 - 400, 111 + 40, 238, 270));

    // The page closes it; a second request finds none.
    hl::ScriptedBrowser* payPage = hl::FindBrowser(*pay, CPayWnd::kBrowserId);
    payPage->CallExternal("WD_JAPI", {std::u16string(u"closedBox")});
    payPage->CallExternal("WD_JAPI", {std::u16string(u"closedBox")});
    hl::Pump();
    EXPECT_EQ(OpenWindow<CPayWnd>(g), nullptr);
    hl::Pump();
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    hl::Click(g, Inside(Button(g, CTitleBar::kPay)));
    EXPECT_NE(OpenWindow<CPayWnd>(g), nullptr);  // a new one
}

TEST_F(GameWindow, TheBossKeyHidesEveryWindowSilencedAndBringsEachBackAsItWas) {
    CMainWnd& l = StartLauncher();
    CRudovGame& g = OpenFromPage();
    l.SetPayParam("http://pay.test/qr?order=7");
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    hl::Click(g, Inside(Button(g, CTitleBar::kPay)));
    CPayWnd* pay = OpenWindow<CPayWnd>(g);
    ASSERT_NE(pay, nullptr);
    hl::FindBrowser(*pay, CPayWnd::kBrowserId)->CompleteLoad();
    hl::Pump();
    auto seen = [&] { return hl::Info(*pay).visible && hl::Info(g).visible; };  // it lies in the game window
    ASSERT_TRUE(seen());
    const fw::Rect payAt = hl::Info(*pay).rect;

    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_FALSE(seen());
    EXPECT_FALSE(hl::Info(l).visible);
    EXPECT_TRUE(hl::PagesMuted());
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_TRUE(hl::Info(g).maximized);
    EXPECT_TRUE(seen());
    EXPECT_EQ(hl::Info(*pay).rect, payAt);
    EXPECT_FALSE(hl::Info(l).visible);  // it was not on the screen
    EXPECT_EQ(hl::Foreground(), g.handle());
    EXPECT_FALSE(hl::PagesMuted());

    // Minimised, the game is hidden by the key and comes back minimised; minimising alone
    // silences nothing.
    g.Show(fw::ShowCmd::Minimize);
    EXPECT_FALSE(hl::PagesMuted());
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_FALSE(hl::Info(g).visible);
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_TRUE(hl::Info(g).visible && hl::Info(g).minimized);
}

TEST_F(GameWindow, TheBindingButtonOpensTheAccountPageOnce) {
    CMainWnd& l = StartLauncher();
    l.SetAccountBound(false);
    CRudovGame& g = OpenFromPage();
    // Over the binding button nothing changes; a click needs no hover.
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    hl::MouseMove(g, Inside(BindButton(g)));
    EXPECT_EQ(Look(g, CTitleBar::kPay), 1);
    hl::Click(g, Inside(BindButton(g)));
    CJihuoWnd* bind = OpenWindow<CJihuoWnd>(g);
    ASSERT_NE(bind, nullptr);
    EXPECT_FALSE(hl::Info(*bind).visible);
    EXPECT_EQ(bind->parent(), &g);
    hl::Click(g, Inside(BindButton(g)));
    EXPECT_EQ(OpenWindow<CJihuoWnd>(g), bind);
    hl::ScriptedBrowser* bindPage = hl::FindBrowser(*bind, CJihuoWnd::kBrowserId);
    bindPage->CallExternal("WD_JAPI", {std::u16string(u"CloseBindPage")});
    bindPage->CallExternal("WD_JAPI", {std::u16string(u"CloseBindPage")});
    hl::Pump();
    EXPECT_EQ(OpenWindow<CJihuoWnd>(g), nullptr);
    // Bound meanwhile: the place of the button opens nothing.
    l.SetAccountBound(true);
    hl::Click(g, Inside(BindButton(g)));
    EXPECT_EQ(OpenWindow<CJihuoWnd>(g), nullptr);
}

TEST_F(GameWindow, TheBossKeyButtonRunsTheDialogModallyOverTheGame) {
    CRudovGame& g = OpenFromPage();
    fw::Window* seenParent = nullptr;
    hl::OnModal([&](fw::Window& dlg) {
        seenParent = dlg.parent();
        fw::EndModal(dlg, fw::IDCANCEL);
    });
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kBossKey)));
    hl::LButtonDown(g, Inside(Button(g, CTitleBar::kBossKey)));
    EXPECT_EQ(hl::ModalLoopsStarted(), 0);  // on the release
    hl::LButtonUp(g, Inside(Button(g, CTitleBar::kBossKey)));
    EXPECT_EQ(hl::ModalLoopsStarted(), 1);
    EXPECT_EQ(seenParent, &g);
    EXPECT_EQ(Look(g, CTitleBar::kBossKey), 0);
    EXPECT_TRUE(g.IsWindow());
}

// ---- painting -----------------------------------------------------------------------------

TEST_F(GameWindow, PaintingFollowsTheState) {
    CMainWnd& l = StartLauncher();
    CRudovGame& g = OpenFromPage("http://g.test/play|x|S1 龙焰");
    const fw::Rect captionArea{60, 13, 400, 30};

    fw::Bitmap withCaption = hl::PaintWindow(g);
    l.SetServerName("");
    fw::Bitmap without = hl::PaintWindow(g);
    EXPECT_NE(Region(withCaption, captionArea), Region(without, captionArea));
    // Without the caption that area shows the frame picture's title band.
    std::unique_ptr<fw::Image> frame;
    ui::LoadSkinImage(shared::IDB_GAME_FRAME, frame);
    fw::Bitmap bands(1920, 1040);
    fw::Canvas bc(bands);
    bc.DrawImage(frame.get(), {0, 0, 1920, 40}, {0, 0, 800, 40});
    bc.DrawImage(frame.get(), {0, 40, 1920, 1040}, {0, 40, 800, 500});
    EXPECT_EQ(Region(without, captionArea), Region(bands, captionArea));
    EXPECT_EQ(Region(without, {0, 500, 1920, 501}), Region(bands, {0, 500, 1920, 501}));

    // Maximised: the restore picture; restored: the maximise picture. By hover state.
    EXPECT_EQ(
        ShownSlice(without, bands, shared::IDB_GAME_RESTORE, Button(g, CTitleBar::kMax), ui::Strip::Horizontal, 3), 0);
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kMax)));
    fw::Bitmap hovered = hl::PaintWindow(g);
    EXPECT_EQ(
        ShownSlice(hovered, bands, shared::IDB_GAME_RESTORE, Button(g, CTitleBar::kMax), ui::Strip::Horizontal, 3), 1);
    l.SetGameMaximized(false);
    fw::Bitmap maxLook = hl::PaintWindow(g);
    EXPECT_EQ(ShownSlice(maxLook, bands, shared::IDB_GAME_MAX, Button(g, CTitleBar::kMax), ui::Strip::Horizontal, 3),
              1);
    hl::LButtonDown(g, Inside(Button(g, CTitleBar::kMax)));
    fw::Bitmap pressed = hl::PaintWindow(g);
    EXPECT_EQ(ShownSlice(pressed, bands, shared::IDB_GAME_MAX, Button(g, CTitleBar::kMax), ui::Strip::Horizontal, 3),
              2);

    // The clear-cache button: idle or clearing picture (the spinner turns over the latter).
    EXPECT_EQ(ShownSlice(without, bands, shared::IDB_GAME_CLEAR, Button(g, CTitleBar::kClear), ui::Strip::Vertical, 2),
              0);
    EXPECT_FALSE(ShowsClearing(g));
    hl::SetBrowserDataClearDeferred(true);
    g.StartClearing();
    EXPECT_TRUE(ShowsClearing(g));
    EXPECT_EQ(hl::FinishBrowserDataClears(), 1);
    ASSERT_TRUE(PumpUntil([] { return !hl::MessageBoxes().empty(); }));  // done
    hl::AdvanceClock(8 * 80);                                            // the spinner's cycle ends
    EXPECT_FALSE(ShowsClearing(g));
    EXPECT_EQ(Look(g, CTitleBar::kClear), 0);
    // The other buttons by their state, and no VIP button.
    EXPECT_EQ(ShownSlice(without, bands, shared::IDB_GAME_PAY, Button(g, CTitleBar::kPay), ui::Strip::Vertical, 2), 0);
    EXPECT_EQ(
        ShownSlice(without, bands, shared::IDB_GAME_BOSSKEY, Button(g, CTitleBar::kBossKey), ui::Strip::Vertical, 2),
        0);
    EXPECT_EQ(
        ShownSlice(without, bands, shared::IDB_GAME_CLOSE, Button(g, CTitleBar::kClose), ui::Strip::Horizontal, 3), 0);
    const fw::Rect vipPlace{1920 - 471, 9, 1920 - 396, 31};
    EXPECT_EQ(Region(without, vipPlace), Region(bands, vipPlace));
}
