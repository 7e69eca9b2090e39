// What a page must not be able to do to the client, and how the client recovers when a page
// goes wrong, with the launcher, its page dialog, the game window and the payment window on
// the headless desktop: client-link games that are left, pages whose engine process ends, a
// launcher page that cannot be loaded, pages that open windows without end, and addresses
// that are no web addresses on every way into the game window.
#include "game_fixture.h"
#include "fw/page_recovery.h"
#include "fw/shell.h"
#include "shared/launcher_layout.h"
#include "side/pay_wnd.h"

namespace game_test {
namespace {

constexpr const char* kPageUrl = "http://127.0.0.1:8088/game/s/dmor/?uid=U7&suid=S9";
constexpr const char* kClientLink = "http://127.0.0.1:8088/game/play/?server=S9&client = 1";

class PageFaults : public GameTest {
protected:
    // Pixels of the launcher's picture in the middle band of its web area that are not black.
    int StatusInk() {
        const fw::Bitmap* pic = hl::LayeredPicture(*launcher);
        if (!pic) return -1;
        const fw::Rect area = launcher->WebArea();
        const int mid = (area.top + area.bottom) / 2;
        int n = 0;
        for (int y = mid - 20; y < mid + 20; ++y)
            for (int x = area.left; x < area.right; ++x)
                if ((pic->At(x, y) & 0xFFFFFF) != 0) ++n;
        return n;
    }
    // The page follows a link the way an engine does: the navigation, then its load.
    static void Follow(hl::ScriptedBrowser* page, const std::string& url) {
        if (page->BeforeNavigate(url)) return;
        page->NavigateComplete(url);
        page->DocumentComplete(url);
    }
};

// ---- a game opened by a client link ------------------------------------------------------

TEST_F(PageFaults, AClientLinkGameLeftAnyWayLeavesTheLauncherUp) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* page = LauncherPage();
    page->CompleteLoad();
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        Follow(page, kClientLink);  // the dialog never cancels: it shows the link's page too
        CRudovGame* g = Game();
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(PageOf(*g)->navigations().back(), kClientLink);
        EXPECT_FALSE(hl::Info(l).visible);
        const int refreshes = page->refreshes();
        switch (way) {
        case 0:  // the return button and OK
            hl::QueueMessageBoxAnswer(fw::IDOK);
            hl::MouseMove(*g, Inside(Button(*g, CTitleBar::kReturn)));
            hl::Click(*g, Inside(Button(*g, CTitleBar::kReturn)));
            break;
        case 1: hl::KeyDown(*g, fw::VK_F4, true); break;  // Alt+F4
        case 2: g->Send(fw::WM_CLOSE); break;             // the window manager's close
        }
        hl::Pump();
        ASSERT_EQ(Game(), nullptr);
        // The launcher reloads its page, which is the client link's by now; the reload
        // comes and goes without opening the game again.
        EXPECT_EQ(page->refreshes(), refreshes + 1);
        page->CompleteLoad();
        hl::AdvanceClock(1000);
        EXPECT_EQ(Game(), nullptr);
        EXPECT_TRUE(hl::Info(l).visible);
        EXPECT_TRUE(hl::Info(*l.pageDialog()).visible);
    }
    // A user's click on a client link still opens the game.
    Follow(page, kClientLink);
    EXPECT_NE(Game(), nullptr);
}

// ---- pages whose engine process ends -------------------------------------------------------

TEST_F(PageFaults, TheLauncherPageIsLoadedAgainWhenItsEngineEnds) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* page = LauncherPage();
    page->CompleteLoad();
    page->CrashEngine();
    EXPECT_EQ(page->refreshes(), 1);  // at once
    page->CompleteLoad();
    EXPECT_TRUE(hl::Info(*l.pageDialog()).visible);
    EXPECT_EQ(page->navigations().size(), 1u);  // a reload, no new navigation

    // Ended again right after: it rests 2 s, then 4 s, instead of loading in a loop.
    hl::AdvanceClock(300);
    page->CrashEngine(fw::EngineExit::OutOfMemory);
    EXPECT_EQ(page->refreshes(), 1);
    hl::AdvanceClock(1999);
    EXPECT_EQ(page->refreshes(), 1);
    hl::AdvanceClock(1);
    EXPECT_EQ(page->refreshes(), 2);
    page->CrashEngine();
    hl::AdvanceClock(3999);
    EXPECT_EQ(page->refreshes(), 2);
    hl::AdvanceClock(1);
    EXPECT_EQ(page->refreshes(), 3);
    page->CompleteLoad();

    // Half a minute later it counts as healthy: the next end is taken care of at once.
    hl::AdvanceClock(fw::PageRecovery::kHealthyAfterMs);
    page->CrashEngine();
    EXPECT_EQ(page->refreshes(), 4);
}

TEST_F(PageFaults, ThePageOfAClientLinkComesBackWithoutOpeningTheGame) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* page = LauncherPage();
    page->CompleteLoad();
    Follow(page, kClientLink);
    ASSERT_NE(Game(), nullptr);
    hl::QueueMessageBoxAnswer(fw::IDOK);
    Game()->ConfirmExit();
    hl::Pump();
    page->CompleteLoad();
    // The launcher page (now the link's page) loses its engine process while the launcher is up.
    page->CrashEngine();
    page->CompleteLoad();
    EXPECT_EQ(Game(), nullptr);
    EXPECT_TRUE(hl::Info(l).visible);
}

TEST_F(PageFaults, TheGamePageAndThePaymentPageAreLoadedAgainToo) {
    CMainWnd& l = StartLauncher();
    LauncherPage()->CompleteLoad();
    l.SetPayParam("http://pay.test/pay/?o=1");
    CRudovGame& g = OpenFromPage();
    hl::ScriptedBrowser* game = PageOf(g);
    game->CompleteLoad();
    game->CrashEngine();
    EXPECT_EQ(game->refreshes(), 1);
    EXPECT_EQ(game->navigations().size(), 1u);
    game->CrashEngine();  // soon again: a pause on the game window's timer
    EXPECT_EQ(game->refreshes(), 1);
    hl::AdvanceClock(2000);
    EXPECT_EQ(game->refreshes(), 2);

    // While the launcher is hidden behind the game, its page comes back as well.
    LauncherPage()->CrashEngine();
    EXPECT_EQ(LauncherPage()->refreshes(), 1);
    EXPECT_FALSE(hl::Info(l).visible);

    g.OpenPayment();
    CPayWnd* payWnd = OpenWindow<CPayWnd>(g);
    ASSERT_NE(payWnd, nullptr);
    hl::ScriptedBrowser* pay = hl::FindBrowser(*payWnd, CPayWnd::kBrowserId);
    ASSERT_NE(pay, nullptr);
    pay->CrashEngine();
    EXPECT_EQ(pay->refreshes(), 1);
    pay->CompleteLoad();
    EXPECT_TRUE(hl::Info(*payWnd).visible);

    // A game window that closes while its page waits for its pause leaves nothing running.
    game->CrashEngine();
    game->CrashEngine();
    hl::QueueMessageBoxAnswer(fw::IDOK);
    g.ConfirmExit();
    hl::Pump();
    EXPECT_EQ(Game(), nullptr);
    hl::AdvanceClock(60000);
    EXPECT_TRUE(hl::Info(l).visible);
}

// ---- a launcher page that cannot be loaded ------------------------------------------------------

TEST_F(PageFaults, ALauncherPageThatNeverLoadedIsAskedForAgainWithGrowingPauses) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* page = LauncherPage();
    CWebDlg* dlg = l.pageDialog();
    ASSERT_NE(page, nullptr);
    // A page that is quick leaves the web area as it is; one that takes a while is said to
    // connect.
    hl::AdvanceClock(CMainWnd::kConnectingDelayMs - 1);
    EXPECT_EQ(l.pageStatus(), "");
    EXPECT_EQ(StatusInk(), 0);
    hl::AdvanceClock(1);
    EXPECT_EQ(l.pageStatus(), CMainWnd::kConnectingText);
    const int connectingInk = StatusInk();
    EXPECT_GT(connectingInk, 50);  // the line is drawn in the black web area
    const std::vector<std::uint32_t> connecting = Region(*hl::LayeredPicture(l), l.WebArea());

    page->FailLoad();
    hl::Pump();
    EXPECT_EQ(l.pageStatus(), CMainWnd::kRetryingText);
    EXPECT_GT(StatusInk(), 50);
    EXPECT_NE(Region(*hl::LayeredPicture(l), l.WebArea()), connecting);
    EXPECT_FALSE(hl::Info(*dlg).visible);  // the dialog waits for a completed load

    // 2, 4, 8, 16, 30, 30 seconds apart, each a request of the launcher page itself.
    std::uint64_t last = hl::NowMs();
    for (unsigned pause : {2000u, 4000u, 8000u, 16000u, 30000u, 30000u}) {
        const size_t n = page->navigations().size();
        hl::AdvanceClock(pause - 1);
        EXPECT_EQ(page->navigations().size(), n) << pause;
        hl::AdvanceClock(1);
        ASSERT_EQ(page->navigations().size(), n + 1) << pause;
        EXPECT_EQ(page->navigations().back(), kPageUrl);
        EXPECT_EQ(hl::NowMs() - last, pause);
        last = hl::NowMs();
        page->FailLoad();
    }

    // Shown again (the boss key twice), the launcher asks at once, and the pauses start over.
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    const size_t beforeShow = page->navigations().size();
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_EQ(page->navigations().size(), beforeShow + 1);
    // While that try runs, showing the launcher again starts no second one.
    l.Show(fw::ShowCmd::Hide);
    l.Show(fw::ShowCmd::Show);
    EXPECT_EQ(page->navigations().size(), beforeShow + 1);
    page->FailLoad();
    hl::AdvanceClock(2000);
    EXPECT_EQ(page->navigations().size(), beforeShow + 2);

    // The platform answers: the page shows, the line goes, nothing is asked any more.
    page->SetElementText("span", "usr", "Tom");
    page->CompleteLoad();
    hl::Pump();
    EXPECT_TRUE(hl::Info(*dlg).visible);
    EXPECT_EQ(l.pageStatus(), "");
    EXPECT_EQ(StatusInk(), 0);
    EXPECT_EQ(l.userName(), "欢迎Tom");
    const size_t loaded = page->navigations().size();
    hl::AdvanceClock(120000);
    EXPECT_EQ(page->navigations().size(), loaded);
    EXPECT_TRUE(hl::Info(*dlg).timers.empty());
    // A later page's failure is the page's own business: no tries, no line.
    page->FailLoad();
    hl::AdvanceClock(60000);
    EXPECT_EQ(page->navigations().size(), loaded);
    EXPECT_EQ(l.pageStatus(), "");
    EXPECT_EQ(StatusInk(), 0);
}

TEST_F(PageFaults, ALoadThatTakesLongIsNotCutShortByTries) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* page = LauncherPage();
    hl::AdvanceClock(60000);  // no answer yet, and no failure either
    EXPECT_EQ(page->navigations().size(), 1u);
    EXPECT_TRUE(hl::Info(*l.pageDialog()).timers.empty());
    EXPECT_TRUE(hl::Info(l).timers.empty());
    EXPECT_EQ(l.pageStatus(), CMainWnd::kConnectingText);
    page->CompleteLoad();
    EXPECT_TRUE(hl::Info(*l.pageDialog()).visible);
}

TEST_F(PageFaults, APageThatLoadsAsUsualNeverShowsTheLine) {
    CMainWnd& l = StartLauncher();
    const int draws = l.drawCount();
    hl::AdvanceClock(300);
    LauncherPage()->CompleteLoad();
    hl::Pump();
    EXPECT_TRUE(hl::Info(l).timers.empty());  // nothing left to wait for
    hl::AdvanceClock(CMainWnd::kConnectingDelayMs);
    EXPECT_EQ(l.pageStatus(), "");
    EXPECT_EQ(StatusInk(), 0);
    EXPECT_EQ(l.drawCount(), draws);  // not even drawn again
    EXPECT_TRUE(hl::Info(l).timers.empty());
    // A failure right at the start says at once that it tries again.
    launcher->Send(fw::WM_CLOSE);
    launcher.reset();
    CMainWnd& again = StartLauncher();
    LauncherPage()->FailLoad();
    hl::Pump();
    EXPECT_EQ(again.pageStatus(), CMainWnd::kRetryingText);
}

TEST_F(PageFaults, ClosingTheLauncherWhileATryWaitsIsClean) {
    CMainWnd& l = StartLauncher();
    LauncherPage()->FailLoad();
    l.Send(fw::WM_CLOSE);
    EXPECT_TRUE(hl::Browsers().empty());
    hl::AdvanceClock(60000);
    EXPECT_FALSE(l.IsWindow());
}

// ---- pages that open windows without end --------------------------------------------------------

TEST_F(PageFaults, OneClickOpensTheDefaultBrowserOnceAndOnlyAFewInAShortTime) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* page = LauncherPage();
    page->CompleteLoad();
    // One click, 200 window.open: one browser start.
    EXPECT_TRUE(page->NewWindow("http://h/news/0"));
    for (int k = 1; k < 200; ++k)
        EXPECT_TRUE(page->NewWindow("http://h/news/" + std::to_string(k), fw::NWMF_USERINITED));
    EXPECT_EQ(hl::ShellOpens(), (std::vector<std::string>{"http://h/news/0"}));
    // A script that opens windows by itself gets none.
    EXPECT_TRUE(page->NewWindow("http://h/by-itself", 0));
    EXPECT_EQ(hl::ShellOpens().size(), 1u);

    // Click after click: the launcher page and the payment page share three in ten seconds.
    l.SetPayParam("http://pay.test/pay/");
    CRudovGame& g = OpenFromPage();
    g.OpenPayment();
    CPayWnd* payWnd = OpenWindow<CPayWnd>(g);
    ASSERT_NE(payWnd, nullptr);
    hl::ScriptedBrowser* pay = hl::FindBrowser(*payWnd, CPayWnd::kBrowserId);
    EXPECT_TRUE(pay->NewWindow("http://pay.test/qr/1"));
    EXPECT_TRUE(pay->NewWindow("http://pay.test/qr/1b", fw::NWMF_USERINITED));
    EXPECT_TRUE(page->NewWindow("http://h/news/again"));
    EXPECT_TRUE(pay->NewWindow("http://pay.test/qr/2"));
    EXPECT_EQ(hl::ShellOpens(),
              (std::vector<std::string>{"http://h/news/0", "http://pay.test/qr/1", "http://h/news/again"}));
    hl::AdvanceClock(fw::kPageOpenWindowMs);
    EXPECT_TRUE(pay->NewWindow("http://pay.test/qr/3"));
    EXPECT_EQ(hl::ShellOpens().back(), "http://pay.test/qr/3");

    // The launcher's own link buttons are the user's, not a page's: never held back.
    hl::QueueMessageBoxAnswer(fw::IDOK);
    g.ConfirmExit();
    hl::Pump();
    const size_t before = hl::ShellOpens().size();
    const fw::Rect forum = shared::launcher_layout::ButtonRect(shared::launcher_layout::kForum);
    for (int k = 0; k < 5; ++k) {
        hl::MouseMove(l, Inside(forum));
        hl::LButtonUp(l, Inside(forum));
        hl::MouseMove(l, {700, 650});
    }
    EXPECT_EQ(hl::ShellOpens().size(), before + 5);
}

// ---- only web addresses reach the game window -------------------------------------------------

TEST_F(PageFaults, OpenGameWithALocalFileOpensNothing) {
    CMainWnd& l = StartLauncher();
    LauncherPage()->CompleteLoad();
    for (const char* bad : {"file:///etc/passwd|x|S1 龙焰", "FILE:///etc/passwd", "javascript:alert(1)|x|S",
                            "about:blank|x|S", "C:\\Windows\\win.ini|x|S", " http://g.test/lead|x|S", "|x|S"}) {
        CallPage("OpenGame", bad);
        EXPECT_EQ(Game(), nullptr) << bad;
        EXPECT_EQ(l.GameUrl(), "") << bad;
        EXPECT_EQ(l.ServerName(), "") << bad;
        EXPECT_TRUE(hl::Info(l).visible) << bad;
    }
    // A web address still opens the game, in either case of its scheme.
    CallPage("OpenGame", "HTTPS://g.test/play|x|S2");
    ASSERT_NE(Game(), nullptr);
    EXPECT_EQ(PageOf(*Game())->navigations(), (std::vector<std::string>{"HTTPS://g.test/play"}));
}

TEST_F(PageFaults, ClientLinksAndNewWindowsWithALocalAddressOpenNothing) {
    CMainWnd& l = StartLauncher();
    hl::ScriptedBrowser* page = LauncherPage();
    page->CompleteLoad();
    EXPECT_FALSE(page->BeforeNavigate("file:///etc/passwd?client = 1"));
    EXPECT_FALSE(page->BeforeNavigate("javascript:void(0);//client = 1"));
    EXPECT_EQ(Game(), nullptr);
    EXPECT_TRUE(page->NewWindow("file:///etc/passwd?client=1"));
    EXPECT_EQ(l.GameUrl(), "");
    EXPECT_TRUE(hl::ShellOpens().empty());
    // A client link into the game window by another way (the launcher asked directly).
    l.SetGameUrl("file:///etc/passwd");
    l.Send(WM_OPEN_GAME);
    EXPECT_EQ(Game(), nullptr);
    EXPECT_TRUE(hl::Info(l).visible);
}

TEST_F(PageFaults, TheGameWindowItselfNavigatesToWebAddressesOnly) {
    CMainWnd& l = StartLauncher();
    CRudovGame& g = OpenFromPage("http://g.test/play|x|S1");
    hl::ScriptedBrowser* page = PageOf(g);
    // F9 after the launcher's address went bad (another way in than OpenGame).
    l.SetGameUrl("file:///etc/passwd");
    hl::KeyDown(g, fw::VK_F9);
    EXPECT_EQ(page->navigations(), (std::vector<std::string>{"http://g.test/play"}));
    // client://loadgame with a local address after the marker, or an http text inside one.
    EXPECT_FALSE(page->BeforeNavigate("client://loadgame?url=file:///etc/passwd"));
    EXPECT_FALSE(page->BeforeNavigate("client://loadgame?url=ftp://g.test/x"));
    EXPECT_EQ(page->navigations().size(), 1u);
    g.NavigateGame("file:///etc/passwd");
    g.NavigateGame("view-source:http://g.test/");
    EXPECT_EQ(page->navigations().size(), 1u);
    EXPECT_FALSE(page->BeforeNavigate("client://loadgame?url=http://g.test/again"));
    EXPECT_EQ(page->navigations().back(), "http://g.test/again");

    // A game window made while the launcher's address is no web address shows nothing.
    l.SetGameUrl("file:///etc/passwd");
    CRudovGame& direct = MakeDirect();
    EXPECT_TRUE(PageOf(direct)->navigations().empty());
}

}  // namespace
}  // namespace game_test
