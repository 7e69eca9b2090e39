// The placement rules every back end shares (fw/common), on the headless desktop: what each
// show command does from each state, which WM_MOVE and WM_SIZE a change sends, the
// activation, and what the window system changes by itself.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fw/headless/desktop.h"
#include "fw/window.h"

namespace {

namespace hl = fw::headless;
using fw::Rect;
using fw::ShowCmd;
using Log = std::vector<std::string>;

class Logged : public fw::Window {
public:
    ~Logged() override { Destroy(); }
    bool Make(Rect r, unsigned style = fw::kPopup, fw::Window* parent = nullptr) {
        return Create({"logged", style, r, parent, 0});
    }
    Log log;
    std::function<void(const std::string&)> onEvent;  // may destroy the window

protected:
    void OnShowWindow(bool show) override { Note(show ? "show" : "hide"); }
    void OnMove(fw::Point p) override { Note("move " + std::to_string(p.x) + "," + std::to_string(p.y)); }
    void OnSize(unsigned type, int cx, int cy) override {
        Note("size " + std::to_string(type) + " " + std::to_string(cx) + "x" + std::to_string(cy));
    }

private:
    void Note(const std::string& e) {
        log.push_back(e);
        if (onEvent) onEvent(e);
    }
};

struct State {
    bool visible, minimized, maximized;
    Rect rect;
};

State Of(const Logged& w) { return {w.IsVisible(), w.IsMinimized(), w.IsMaximized(), w.GetWindowRect()}; }

void ExpectState(const Logged& w, State want, const char* what) {
    const State s = Of(w);
    EXPECT_EQ(s.visible, want.visible) << what;
    EXPECT_EQ(s.minimized, want.minimized) << what;
    EXPECT_EQ(s.maximized, want.maximized) << what;
    EXPECT_EQ(s.rect, want.rect) << what;
}

constexpr Rect kNormal{100, 50, 900, 650};  // 800 x 600
constexpr Rect kWork{0, 0, 1920, 1040};     // the desktop's default work area

class FwPlacement : public testing::Test {
protected:
    void SetUp() override { hl::Reset(); }

    // A visible window at kNormal, brought into the state asked for, with an empty log.
    void Prepare(Logged& w, const std::vector<ShowCmd>& steps) {
        ASSERT_TRUE(w.Make(kNormal));
        w.Show(ShowCmd::Show);
        for (ShowCmd c : steps) w.Show(c);
        w.log.clear();
    }
};

TEST_F(FwPlacement, EachShowCommandFromEachState) {
    struct Case {
        const char* what;
        std::vector<ShowCmd> from;
        ShowCmd cmd;
        State want;
        Log log;
    };
    const std::vector<Case> cases = {
        {"restore a maximised window",
         {ShowCmd::Maximize},
         ShowCmd::Restore,
         {true, false, false, kNormal},
         {"move 100,50", "size 0 800x600"}},
        {"show keeps maximised", {ShowCmd::Maximize}, ShowCmd::Show, {true, false, true, kWork}, {}},
        {"minimise a maximised window keeps its rectangle",
         {ShowCmd::Maximize},
         ShowCmd::Minimize,
         {true, true, false, kWork},
         {"size 1 0x0"}},
        {"restore from minimised goes back to maximised",
         {ShowCmd::Maximize, ShowCmd::Minimize},
         ShowCmd::Restore,
         {true, false, true, kWork},
         {"size 2 1920x1040"}},
        {"show normal from minimised goes back to maximised too",
         {ShowCmd::Maximize, ShowCmd::Minimize},
         ShowCmd::ShowNormal,
         {true, false, true, kWork},
         {"size 2 1920x1040"}},
        {"show without activation restores like show normal",
         {ShowCmd::Maximize},
         ShowCmd::ShowNoActivate,
         {true, false, false, kNormal},
         {"move 100,50", "size 0 800x600"}},
        {"show without activation from minimised",
         {ShowCmd::Minimize},
         ShowCmd::ShowNoActivate,
         {true, false, false, kNormal},
         {"size 0 800x600"}},
        {"maximise a minimised window",
         {ShowCmd::Minimize},
         ShowCmd::Maximize,
         {true, false, true, kWork},
         {"move 0,0", "size 2 1920x1040"}},
        {"minimise twice", {ShowCmd::Minimize}, ShowCmd::ShowMinimized, {true, true, false, kNormal}, {}},
        {"maximise twice", {ShowCmd::Maximize}, ShowCmd::Maximize, {true, false, true, kWork}, {}},
        {"restore a normal window", {}, ShowCmd::Restore, {true, false, false, kNormal}, {}},
        {"hide a maximised window keeps it maximised",
         {ShowCmd::Maximize},
         ShowCmd::Hide,
         {false, false, true, kWork},
         {"hide"}},
    };
    for (const Case& c : cases) {
        hl::Reset();
        Logged w;
        Prepare(w, c.from);
        w.Show(c.cmd);
        ExpectState(w, c.want, c.what);
        EXPECT_EQ(w.log, c.log) << c.what;
    }
}

TEST_F(FwPlacement, TheNormalRectangleSurvivesEveryWayBackToMaximised) {
    // Maximised, minimised, maximised again: the rectangle to restore to is still the first
    // one, not the maximised one.
    Logged w;
    Prepare(w, {ShowCmd::Maximize, ShowCmd::Minimize, ShowCmd::Maximize});
    w.Show(ShowCmd::Restore);
    ExpectState(w, {true, false, false, kNormal}, "restored after maximise, minimise, maximise");

    // Moving a maximised window keeps it maximised and keeps where it is restored to.
    w.Show(ShowCmd::Maximize);
    w.log.clear();
    w.SetPos({10, 10, 500, 400});
    EXPECT_TRUE(w.IsMaximized());
    EXPECT_EQ(w.log, (Log{"move 10,10", "size 2 490x390"}));
    w.Show(ShowCmd::Restore);
    EXPECT_EQ(w.GetWindowRect(), kNormal);

    // A window maximised while hidden shows maximised and restores to where it was made.
    Logged hidden;
    ASSERT_TRUE(hidden.Make({30, 40, 330, 240}));
    hidden.Show(ShowCmd::Maximize);
    EXPECT_TRUE(hidden.IsVisible());
    hidden.Show(ShowCmd::Restore);
    EXPECT_EQ(hidden.GetWindowRect(), (Rect{30, 40, 330, 240}));
}

TEST_F(FwPlacement, ActivationFollowsTheCommand) {
    Logged a, b;
    ASSERT_TRUE(a.Make(kNormal));
    ASSERT_TRUE(b.Make({0, 0, 50, 50}));
    a.Show(ShowCmd::Show);
    EXPECT_EQ(hl::Foreground(), a.handle());
    b.Show(ShowCmd::ShowNoActivate);
    EXPECT_EQ(hl::Foreground(), a.handle()) << "shown without activation";
    b.Show(ShowCmd::Maximize);
    EXPECT_EQ(hl::Foreground(), b.handle());
    b.Show(ShowCmd::Minimize);
    EXPECT_EQ(hl::Foreground(), fw::kNoWindow) << "a minimised window gives up the foreground";
    b.Show(ShowCmd::Restore);
    EXPECT_EQ(hl::Foreground(), b.handle());
    a.Show(ShowCmd::ShowNormal);
    EXPECT_EQ(hl::Foreground(), a.handle());
    a.Show(ShowCmd::Hide);
    EXPECT_EQ(hl::Foreground(), fw::kNoWindow);
}

TEST_F(FwPlacement, NotificationsCarryOnlyWhatChanged) {
    Logged w;
    ASSERT_TRUE(w.Make(kNormal));
    w.SetPos(kNormal);                                  // nothing changed
    w.SetPos({0, 0, 1, 1}, fw::kNoMove | fw::kNoSize);  // nothing to change
    w.SetPos(kNormal, fw::kTopOfZOrder);                // only the stacking
    w.Show(ShowCmd::Show);                              // the state stays normal
    EXPECT_EQ(w.log, (Log{"show"}));

    // A layered picture of the window's own size changes nothing; an empty one is ignored.
    w.log.clear();
    w.UpdateLayered(fw::Bitmap(800, 600));
    w.UpdateLayered(fw::Bitmap());
    EXPECT_EQ(w.log, Log{});
    EXPECT_EQ(w.GetWindowRect(), kNormal);
    EXPECT_EQ(hl::Info(w).layeredUpdates, 1);

    // A negative size is none; a rectangle turned the wrong way round is made empty.
    w.SetPos({5, 5, -10, 2});
    EXPECT_EQ(w.GetWindowRect(), (Rect{5, 5, 5, 5}));
    Logged inverted;
    ASSERT_TRUE(inverted.Make({50, 50, 10, 10}));
    EXPECT_EQ(inverted.GetWindowRect(), (Rect{50, 50, 50, 50}));
}

TEST_F(FwPlacement, ChildrenLiveInTheirParentsClientArea) {
    Logged parent, child;
    ASSERT_TRUE(parent.Make(kNormal));
    ASSERT_TRUE(child.Make({10, 20, 110, 70}, fw::kChild, &parent));
    parent.SetPos({200, 100, 1000, 700});
    EXPECT_EQ(child.GetWindowRect(), (Rect{210, 120, 310, 170})) << "it follows its parent";
    EXPECT_EQ(child.log, Log{}) << "its place in the parent did not change";

    // Maximised, a child fills its parent's client area, and restores to its place there.
    child.Show(ShowCmd::Maximize);
    EXPECT_EQ(child.GetWindowRect(), (Rect{200, 100, 1000, 700}));
    EXPECT_EQ(child.log, (Log{"show", "move 0,0", "size 2 800x600"}));
    child.Show(ShowCmd::Restore);
    EXPECT_EQ(child.GetWindowRect(), (Rect{210, 120, 310, 170}));

    // A drag by the user is reported in screen terms and kept in the parent's.
    child.Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
    child.log.clear();
    hl::DragBy(child, 5, -5);
    EXPECT_EQ(child.GetWindowRect(), (Rect{215, 115, 315, 165}));
    EXPECT_EQ(child.log, (Log{"move 15,15"}));
}

TEST_F(FwPlacement, WhatTheWindowSystemDoesByItself) {
    Logged w;
    Prepare(w, {});
    hl::SystemSetsState(w, false, true);  // maximised by the window manager
    ExpectState(w, {true, false, true, kWork}, "maximised by the system");
    hl::SystemSetsState(w, true, false);  // then minimised from the taskbar
    EXPECT_TRUE(w.IsMinimized());
    w.Show(ShowCmd::Restore);  // back to maximised, as it was before
    ExpectState(w, {true, false, true, kWork}, "restored from the taskbar's minimise");
    w.Show(ShowCmd::Restore);  // and to the place the system maximised it from
    ExpectState(w, {true, false, false, kNormal}, "restored to where the system maximised it from");
    EXPECT_EQ(w.log,
              (Log{"move 0,0", "size 2 1920x1040", "size 1 0x0", "size 2 1920x1040", "move 100,50", "size 0 800x600"}));

    // A report of the state the window is in already sends nothing.
    w.log.clear();
    hl::SystemSetsState(w, false, false);
    EXPECT_EQ(w.log, Log{});
}

TEST_F(FwPlacement, AHandlerMayDestroyTheWindowOnTheWay) {
    // Destroyed by its WM_SHOWWINDOW: nothing else reaches it.
    {
        Logged w;
        ASSERT_TRUE(w.Make(kNormal));
        w.onEvent = [&](const std::string& e) {
            if (e == "show") w.Destroy();
        };
        w.Show(ShowCmd::Maximize);
        EXPECT_FALSE(w.IsWindow());
        EXPECT_EQ(w.log, (Log{"show"}));
    }
    // Destroyed by its WM_MOVE: no WM_SIZE follows.
    {
        Logged w;
        Prepare(w, {});
        w.onEvent = [&](const std::string& e) {
            if (e.rfind("move", 0) == 0) w.Destroy();
        };
        w.Show(ShowCmd::Maximize);
        EXPECT_FALSE(w.IsWindow());
        EXPECT_EQ(w.log, (Log{"move 0,0"}));
    }
    // Deleted by its WM_MOVE while a drag moves it.
    {
        auto* w = new Logged();
        ASSERT_TRUE(w->Make(kNormal, fw::kPopup | fw::kVisible));
        w->Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
        bool deleted = false;
        w->onEvent = [&](const std::string& e) {
            if (e.rfind("move", 0) == 0) {
                deleted = true;
                delete w;
            }
        };
        hl::DragBy(*w, 3, 3);
        EXPECT_TRUE(deleted);
        EXPECT_TRUE(hl::LiveWindows().empty());
    }
}

}  // namespace
