// The title bar's animations on the headless clock: the account-binding button's cycles and
// its removal once the account is bound, the wait for a visible window, the clearing
// spinner's cycle around the end of a clearing, and windows closed in the middle of both.
#include "game_fixture.h"
#include "side/jihuo_wnd.h"

using namespace game_test;

namespace {

class TitleAnimation : public GameTest {
protected:
    // The binding frame on screen: the one the animation says, painted into m_rcBind
    // (the skin's strip loops, so its first and last frames look alike); -1 for none.
    int BindFrameShown(CRudovGame& g, const fw::Bitmap& base) {
        fw::Bitmap now = hl::PaintWindow(g);
        if (Region(now, BindButton(g)) == Region(base, BindButton(g))) return -1;
        const int f = g.bindAnimation().frame();
        return ShowsSlice(now, base, shared::IDB_GAME_BIND, BindButton(g), ui::Strip::Vertical, f) ? f : -2;
    }
    int SpinnerFrameShown(CRudovGame& g, const fw::Bitmap& base) {
        fw::Bitmap now = hl::PaintWindow(g);
        return ShownSlice(now, base, shared::IDB_GAME_SPINNER, SpinnerSquare(g), ui::Strip::Horizontal, 8);
    }
};

const fw::Rect kNoButton{0, 0, -1, -1};

}  // namespace

TEST_F(TitleAnimation, ABoundAccountHasNoBindingButtonAndNoTimer) {
    CRudovGame& g = OpenFromPage();
    EXPECT_TRUE(hl::Info(g).timers.empty());
    hl::AdvanceClock(5000);
    EXPECT_FALSE(g.bindAnimation().running());
    EXPECT_TRUE(BindButton(g).IsEmpty());
    EXPECT_EQ(DragArea(g).right, Button(g, CTitleBar::kPay).left - 5);
}

TEST_F(TitleAnimation, BindingCyclesUntilTheAccountIsBoundThenTheButtonGoes) {
    StartLauncher().SetAccountBound(false);
    CRudovGame& g = OpenFromPage();
    const fw::Rect bind = BindButton(g);
    ASSERT_EQ(bind, (fw::Rect{1920 - 532, 9, 1920 - 396, 31}));
    const fw::Bitmap base = hl::PaintWindow(g);  // nothing drawn there before the start

    hl::AdvanceClock(149);
    EXPECT_FALSE(g.bindAnimation().running());
    EXPECT_EQ(BindFrameShown(g, base), -1);
    hl::AdvanceClock(1);  // 150 ms after creation
    EXPECT_TRUE(g.bindAnimation().running());
    EXPECT_FALSE(HasTimer(g, IDT_BIND_ANIMATION));
    EXPECT_EQ(BindFrameShown(g, base), 0);

    // Slots of 150 ms: frames 0..8, the tenth slot keeps the ninth frame.
    std::vector<int> shown;
    for (int slot = 1; slot < 12; ++slot) {
        hl::AdvanceClock(150);
        shown.push_back(BindFrameShown(g, base));
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 8, 0, 1}));

    // Bound in the middle of the second cycle: that cycle still ends.
    launcher->SetAccountBound(true);
    hl::AdvanceClock(150 * 7);  // slots 2..8 of the second cycle
    EXPECT_TRUE(g.bindAnimation().running());
    EXPECT_EQ(BindButton(g), bind);
    EXPECT_EQ(DragArea(g).right, bind.left - 5);
    hl::AdvanceClock(150);  // slot 9
    EXPECT_TRUE(g.bindAnimation().running());
    EXPECT_EQ(BindFrameShown(g, base), 8);
    hl::AdvanceClock(150);  // the end of the cycle
    EXPECT_FALSE(g.bindAnimation().running());
    EXPECT_EQ(BindButton(g), kNoButton);
    EXPECT_EQ(DragArea(g), (fw::Rect{0, 0, Button(g, CTitleBar::kPay).left - 5, 40}));
    EXPECT_TRUE(hl::Info(g).timers.empty());
    fw::Bitmap after = hl::PaintWindow(g);
    EXPECT_EQ(Region(after, bind), Region(base, bind));
    EXPECT_EQ(g.bindAnimation().cycles(), 2);
    // Its place is no button any more.
    hl::Click(g, Inside(bind));
    EXPECT_EQ(OpenWindow<CJihuoWnd>(g), nullptr);
}

TEST_F(TitleAnimation, BindingWaitsForTheWindowToBeShownWhileMessagesFlow) {
    StartLauncher().SetAccountBound(false);
    CRudovGame& g = MakeDirect();  // hidden
    hl::AdvanceClock(150);
    EXPECT_FALSE(g.bindAnimation().running());
    EXPECT_TRUE(HasTimer(g, IDT_BIND_WAIT_VISIBLE));
    hl::AdvanceClock(2000);
    EXPECT_FALSE(g.bindAnimation().running());
    ExpectHandlingMessages(g);

    g.Show(fw::ShowCmd::Show);
    hl::AdvanceClock(49);
    EXPECT_FALSE(g.bindAnimation().running());
    hl::AdvanceClock(1);
    EXPECT_TRUE(g.bindAnimation().running());
    EXPECT_FALSE(HasTimer(g, IDT_BIND_WAIT_VISIBLE));
    EXPECT_EQ(g.bindAnimation().frame(), 0);
    // Hidden again (the boss key), it keeps its pace.
    g.Show(fw::ShowCmd::Hide);
    hl::AdvanceClock(300);
    EXPECT_EQ(g.bindAnimation().frame(), 2);
}

TEST_F(TitleAnimation, WithoutItsPictureTheBindingButtonGoesAtOnce) {
    fw::OverrideResource(shared::IDB_GAME_BIND, "PNG", {}, false);
    StartLauncher().SetAccountBound(false);
    CRudovGame& g = OpenFromPage();
    EXPECT_FALSE(BindButton(g).IsEmpty());
    hl::AdvanceClock(150);
    EXPECT_FALSE(g.bindAnimation().running());
    EXPECT_EQ(BindButton(g), kNoButton);
    EXPECT_EQ(DragArea(g).right, Button(g, CTitleBar::kPay).left - 5);
    EXPECT_TRUE(hl::Info(g).timers.empty());
}

TEST_F(TitleAnimation, ClosingInTheMiddleOfTheAnimationLeavesNothingRunning) {
    CMainWnd& l = StartLauncher();
    LauncherPage()->CompleteLoad();
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        l.SetAccountBound(false);
        CRudovGame* g = &OpenFromPage();
        hl::AdvanceClock(static_cast<unsigned>(37 * round % 1700));
        if (round % 3 == 0) {
            hl::KeyDown(*g, fw::VK_F4, true);
        } else if (round % 3 == 1) {
            hl::QueueMessageBoxAnswer(fw::IDOK);
            hl::MouseMove(*g, Inside(Button(*g, CTitleBar::kReturn)));
            hl::Click(*g, Inside(Button(*g, CTitleBar::kReturn)));
        } else {
            l.SetAccountBound(true);  // bound just before the close
            g->Send(fw::WM_SYSCOMMAND, fw::SC_CLOSE, 0);
        }
        hl::Pump();
        ASSERT_EQ(l.gameWindow(), nullptr);
        EXPECT_TRUE(GameWindows().empty());
        EXPECT_TRUE(hl::Info(l).visible);
        hl::AdvanceClock(2000);  // no timer of a closed window fires
    }
    // A window deleted outright in the middle of a slot.
    l.SetAccountBound(false);
    MakeDirect().Show(fw::ShowCmd::Show);
    hl::AdvanceClock(500);
    EXPECT_TRUE(direct->bindAnimation().running());
    direct.reset();
    hl::AdvanceClock(2000);
    EXPECT_TRUE(GameWindows().empty());
}

// The spinner runs on the window's clock while a real clearing worker finishes: frame 0
// only in the first cycle, then 1..7 for as long as clearing runs, the cycle finished after
// it ended, then the idle picture.
TEST_F(TitleAnimation, SpinnerCycleAroundTheEndOfAClearingWorker) {
    CRudovGame& g = OpenFromPage();
    const fw::Bitmap idle = hl::PaintWindow(g);
    // The clearing picture where the clear-cache button is, without the spinner.
    fw::Bitmap busy = FrameBands(idle.width(), idle.height());
    {
        std::unique_ptr<fw::Image> clearing;
        ui::LoadSkinImage(shared::IDB_GAME_CLEARING, clearing);
        fw::Canvas c(busy);
        ui::DrawSlice(c, clearing.get(), Button(g, CTitleBar::kClear), 0, ui::Strip::Vertical);
    }
    EXPECT_NE(Region(idle, Button(g, CTitleBar::kClear)), Region(busy, Button(g, CTitleBar::kClear)));

    hl::SetBrowserDataClearDeferred(true);  // the worker starts when the engine has answered
    g.StartClearing();
    EXPECT_TRUE(g.spinner().running());
    EXPECT_EQ(SpinnerFrameShown(g, busy), 0);
    std::vector<int> frames;
    for (int i = 0; i < 10; ++i) {
        hl::AdvanceClock(80);
        frames.push_back(SpinnerFrameShown(g, busy));
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 1, 2, 3}));
    EXPECT_EQ(hl::FinishBrowserDataClears(), 1);
    ASSERT_TRUE(PumpUntil([] { return !hl::MessageBoxes().empty(); }));  // the worker is done
    frames.clear();
    for (int i = 0; i < 5; ++i) {
        hl::AdvanceClock(80);
        frames.push_back(SpinnerFrameShown(g, idle));
    }
    EXPECT_EQ(frames, (std::vector<int>{4, 5, 6, 7, -1}));
    EXPECT_FALSE(g.spinner().running());
    EXPECT_FALSE(HasTimer(g, IDT_SPINNER));
    EXPECT_EQ(Region(hl::PaintWindow(g), Button(g, CTitleBar::kClear)), Region(idle, Button(g, CTitleBar::kClear)));
}
