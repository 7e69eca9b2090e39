// The headless tool tips: what a window's tip shows, where, and when it is down.
#include <gtest/gtest.h>

#include "fw/headless/desktop.h"
#include "fw/headless/desktop_extra.h"
#include "fw/tooltip.h"
#include "fw/window.h"

namespace hl = fw::headless;

namespace {

class Tooltip : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        Make(a, 100);
        Make(b, 400);
    }
    static void Make(fw::Window& w, int x) {
        fw::CreateParams p;
        p.style = fw::kPopup | fw::kVisible;
        p.rect = fw::Rect::FromXYWH(x, 100, 200, 100);
        ASSERT_TRUE(w.Create(p));
    }
    fw::Window a, b;
};

TEST_F(Tooltip, ShowsMovesAndHidesPerWindow) {
    EXPECT_FALSE(fw::TooltipVisible(a));
    EXPECT_EQ(hl::TooltipText(a), "");

    fw::ShowTooltip(a, "Ctrl + Alt + F10", {10, 20});
    EXPECT_TRUE(fw::TooltipVisible(a));
    EXPECT_EQ(hl::TooltipText(a), "Ctrl + Alt + F10");
    EXPECT_EQ(hl::TooltipPoint(a), (fw::Point{10, 20}));
    EXPECT_FALSE(fw::TooltipVisible(b));  // tips belong to their window

    // Shown again while up: new text, new place.
    fw::ShowTooltip(a, "F10", {30, 40});
    EXPECT_EQ(hl::TooltipText(a), "F10");
    EXPECT_EQ(hl::TooltipPoint(a), (fw::Point{30, 40}));

    fw::HideTooltip(a);
    EXPECT_FALSE(fw::TooltipVisible(a));
    EXPECT_EQ(hl::TooltipText(a), "");
    fw::HideTooltip(a);  // twice is harmless
    fw::HideTooltip(b);  // a window that never had one
    EXPECT_FALSE(fw::TooltipVisible(b));
}

TEST_F(Tooltip, EmptyTextShowsNothingAndTakesDownATipThatIsUp) {
    fw::ShowTooltip(a, "", {1, 1});
    EXPECT_FALSE(fw::TooltipVisible(a));
    fw::ShowTooltip(a, "F10", {1, 1});
    fw::ShowTooltip(a, "", {1, 1});
    EXPECT_FALSE(fw::TooltipVisible(a));
}

TEST_F(Tooltip, GoesDownWithItsWindowAndStaysDown) {
    fw::ShowTooltip(a, "F10", {1, 1});
    a.Show(fw::ShowCmd::Hide);
    EXPECT_FALSE(fw::TooltipVisible(a));
    a.Show(fw::ShowCmd::Show);
    EXPECT_FALSE(fw::TooltipVisible(a));  // a hidden tip does not come back by itself

    a.Show(fw::ShowCmd::Minimize);
    fw::ShowTooltip(a, "F10", {1, 1});  // nothing shows over a minimised window
    EXPECT_FALSE(fw::TooltipVisible(a));

    fw::ShowTooltip(b, "F10", {1, 1});
    b.Destroy();
    EXPECT_FALSE(fw::TooltipVisible(b));
    EXPECT_EQ(hl::TooltipText(b), "");
    fw::ShowTooltip(b, "F10", {1, 1});  // a window that is gone: nothing, no crash
    fw::HideTooltip(b);
    EXPECT_FALSE(fw::TooltipVisible(b));
}

TEST_F(Tooltip, AWindowMadeAgainStartsWithoutTip) {
    fw::ShowTooltip(a, "F10", {1, 1});
    a.Destroy();
    Make(a, 100);  // a new handle
    EXPECT_FALSE(fw::TooltipVisible(a));
    EXPECT_EQ(hl::TooltipText(a), "");
}

}  // namespace
