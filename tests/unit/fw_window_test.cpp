// Windows on the headless desktop: routing, posting, showing, positions, timers, input.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fw/app.h"
#include "fw/browser.h"
#include "fw/headless/browser.h"
#include "fw/headless/desktop.h"
#include "fw/hidden_windows.h"
#include "fw/tray.h"
#include "fw/window.h"

namespace {

namespace hl = fw::headless;
using fw::Point;
using fw::Rect;

constexpr unsigned WM_PROBE = fw::WM_USER + 7;

class Probe : public fw::Window {
public:
    ~Probe() override { Destroy(); }

    bool Make(Rect r = {100, 100, 400, 300}, unsigned style = fw::kPopup, fw::Window* parent = nullptr) {
        return Create({"probe", style, r, parent, 0});
    }

    std::vector<std::string> log;
    int createResult = 0;
    bool dragOnDown = false;
    bool trackLeave = false;
    int captionHeight = 0;
    fw::Size minSize{};
    std::function<bool(const fw::Msg&)> pre;
    std::function<void(unsigned, fw::WPARAM)> onUser;
    std::function<void(unsigned)> onTimer;

    bool PreTranslateMessage(const fw::Msg& m) override { return pre && pre(m); }
    fw::ControlKey KeyForControl(const fw::Msg& m) override { return route ? route(m) : fw::ControlKey::Translate; }
    std::function<fw::ControlKey(const fw::Msg&)> route;

protected:
    int OnCreate() override { return createResult; }
    void OnDestroy() override { log.push_back("destroy"); }
    void OnShowWindow(bool show) override {
        log.push_back(std::string("show ") + (show ? "1" : "0") + " visible=" + (IsVisible() ? "1" : "0"));
    }
    void OnMove(Point p) override { log.push_back("move " + std::to_string(p.x) + "," + std::to_string(p.y)); }
    void OnSize(unsigned type, int cx, int cy) override {
        log.push_back("size " + std::to_string(type) + " " + std::to_string(cx) + "x" + std::to_string(cy));
    }
    void OnTimer(unsigned id) override {
        log.push_back("timer " + std::to_string(id));
        if (onTimer) onTimer(id);
    }
    void OnKeyDown(unsigned vk, bool sys) override { log.push_back("key " + std::to_string(vk) + (sys ? " sys" : "")); }
    void OnMouseMove(Point p) override {
        log.push_back("mousemove " + std::to_string(p.x) + "," + std::to_string(p.y));
        if (trackLeave) TrackMouseLeave();
    }
    void OnMouseLeave() override { log.push_back("leave"); }
    void OnLButtonDown(Point p) override {
        log.push_back("ldown " + std::to_string(p.x) + "," + std::to_string(p.y));
        if (dragOnDown) {
            ReleaseCapture();
            Send(fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
        }
    }
    void OnLButtonUp(Point) override { log.push_back("lup"); }
    void OnPaint(fw::Canvas& c) override {
        log.push_back("paint");
        c.Clear(0xFF00FF00u);
    }
    int OnNcHitTest(Point screen) override {
        const Rect r = GetWindowRect();
        if (screen.y - r.top < captionHeight) return fw::HTCAPTION;
        if (screen.x >= r.right - 3) return fw::HTRIGHT;
        return fw::HTCLIENT;
    }
    void OnGetMinMaxInfo(fw::Size& minTrack) override { minTrack = minSize; }
    fw::LRESULT OnMessage(unsigned msg, fw::WPARAM wp, fw::LPARAM) override {
        if (msg >= fw::WM_USER && onUser) onUser(msg, wp);
        return 0;
    }
};

class FwWindow : public testing::Test {
protected:
    void SetUp() override { hl::Reset(); }
};

TEST_F(FwWindow, PostToADestroyedWindowIsDropped) {
    Probe w;
    ASSERT_TRUE(w.Make());
    int got = 0;
    w.onUser = [&](unsigned, fw::WPARAM) { ++got; };
    const fw::Handle h = w.handle();
    EXPECT_TRUE(fw::Window::Post(h, WM_PROBE));
    w.Destroy();
    EXPECT_FALSE(fw::Window::Post(h, WM_PROBE));
    EXPECT_EQ(hl::Pump(), 0);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(fw::Window::FromHandle(h), nullptr);

    // A new window never gets the old handle.
    Probe again;
    ASSERT_TRUE(again.Make());
    EXPECT_NE(again.handle(), h);
}

TEST_F(FwWindow, PostFromAnotherThreadArrivesInOrder) {
    Probe w;
    ASSERT_TRUE(w.Make());
    std::vector<fw::WPARAM> seen;
    w.onUser = [&](unsigned, fw::WPARAM wp) { seen.push_back(wp); };
    const fw::Handle h = w.handle();
    std::thread worker([h] {
        for (fw::WPARAM i = 0; i < 1000; ++i) fw::Window::Post(h, WM_PROBE, i);
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (seen.size() < 1000 && std::chrono::steady_clock::now() < deadline) {
        hl::Pump();
        std::this_thread::yield();
    }
    worker.join();
    hl::Pump();
    ASSERT_EQ(seen.size(), 1000u);
    for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], i);
}

TEST_F(FwWindow, PreTranslationOfTheTargetAndItsAncestors) {
    Probe parent, child;
    ASSERT_TRUE(parent.Make());
    ASSERT_TRUE(child.Make({0, 0, 50, 50}, fw::kChild | fw::kVisible, &parent));
    child.log.clear();
    std::vector<unsigned> parentSaw;
    parent.pre = [&](const fw::Msg& m) {
        parentSaw.push_back(m.message);
        return m.message == fw::WM_KEYDOWN && m.wParam == fw::VK_ESCAPE && m.hwnd == child.handle();
    };
    hl::KeyDown(child, fw::VK_ESCAPE);
    hl::KeyDown(child, fw::VK_RETURN);
    EXPECT_EQ(child.log, (std::vector<std::string>{"key 13"}));  // Escape was swallowed
    // Posted messages go through the same pre-translation; a swallowing child stops there.
    child.pre = [](const fw::Msg& m) { return m.message == WM_PROBE; };
    int got = 0;
    child.onUser = [&](unsigned, fw::WPARAM) { ++got; };
    child.Post(WM_PROBE);
    child.Post(WM_PROBE + 1);
    hl::Pump();
    EXPECT_EQ(got, 1);
    EXPECT_EQ(parentSaw, (std::vector<unsigned>{fw::WM_KEYDOWN, fw::WM_KEYDOWN, WM_PROBE + 1}));
}

// A key typed into a browser control: the pre-translation of the window around it (and its
// ancestors) first, then the way the window's KeyForControl names, between the control's
// accelerator translation and the dispatch to the page.
TEST_F(FwWindow, KeysForAControlGoTheWayTheWindowSays) {
    Probe parent, panel;
    ASSERT_TRUE(parent.Make());
    ASSERT_TRUE(panel.Make({0, 0, 300, 200}, fw::kChild | fw::kVisible, &parent));
    auto control = fw::BrowserControl::Create(panel, 9, {0, 0, 300, 200});
    ASSERT_TRUE(control);
    hl::ScriptedBrowser* page = hl::FindBrowser(panel, 9);
    ASSERT_NE(page, nullptr);
    std::vector<fw::Msg> asked;
    panel.route = [&](const fw::Msg& m) {
        asked.push_back(m);
        switch (m.wParam) {
        case '1': return fw::ControlKey::TranslateThenDispatch;
        case '2': return fw::ControlKey::TranslateOnly;
        case '3': return fw::ControlKey::DispatchOnly;
        default: return fw::ControlKey::Translate;
        }
    };
    parent.pre = [](const fw::Msg& m) { return m.wParam == fw::VK_ESCAPE; };
    using K = hl::ControlKeySeen;
    auto type = [&](bool takes) {
        page->SetAcceleratorTakesKeys(takes);
        const std::size_t before = page->keys().size();
        for (unsigned vk : {unsigned('0'), unsigned('1'), unsigned('2'), unsigned('3'), fw::VK_ESCAPE})
            EXPECT_TRUE(hl::KeyDownInBrowser(panel, 9, vk));
        return std::vector<K>(page->keys().begin() + static_cast<std::ptrdiff_t>(before), page->keys().end());
    };
    // The translation declines: every way but TranslateOnly reaches the page.
    EXPECT_EQ(type(false), (std::vector<K>{{K::Accelerator, fw::WM_KEYDOWN, '0'},
                                           {K::Page, fw::WM_KEYDOWN, '0'},
                                           {K::Accelerator, fw::WM_KEYDOWN, '1'},
                                           {K::Page, fw::WM_KEYDOWN, '1'},
                                           {K::Accelerator, fw::WM_KEYDOWN, '2'},
                                           {K::Page, fw::WM_KEYDOWN, '3'}}));
    // The translation takes each key: only TranslateThenDispatch and DispatchOnly go on.
    EXPECT_EQ(type(true), (std::vector<K>{{K::Accelerator, fw::WM_KEYDOWN, '0'},
                                          {K::Accelerator, fw::WM_KEYDOWN, '1'},
                                          {K::Page, fw::WM_KEYDOWN, '1'},
                                          {K::Accelerator, fw::WM_KEYDOWN, '2'},
                                          {K::Page, fw::WM_KEYDOWN, '3'}}));
    // The window around the control is asked, with its own handle; a swallowed key never.
    ASSERT_EQ(asked.size(), 8u);
    EXPECT_EQ(asked[0].hwnd, panel.handle());
    EXPECT_EQ(asked[0].message, fw::WM_KEYDOWN);
    // The window's own handlers never see keys of the control.
    EXPECT_TRUE(
        std::none_of(panel.log.begin(), panel.log.end(), [](const std::string& l) { return l.rfind("key", 0) == 0; }));
}

TEST_F(FwWindow, ShowNotificationComesBeforeTheChange) {
    Probe w;
    ASSERT_TRUE(w.Make());
    w.Show(fw::ShowCmd::Show);
    w.Show(fw::ShowCmd::Show);  // no change: no notification
    w.Show(fw::ShowCmd::Hide);
    w.Show(fw::ShowCmd::Hide);
    EXPECT_EQ(w.log, (std::vector<std::string>{"show 1 visible=0", "show 0 visible=1"}));
    EXPECT_FALSE(w.IsVisible());

    Probe v;  // created visible
    v.Make({0, 0, 10, 10}, fw::kPopup | fw::kVisible);
    EXPECT_TRUE(v.IsVisible());
    EXPECT_EQ(v.log, (std::vector<std::string>{"show 1 visible=0"}));
    EXPECT_EQ(hl::Foreground(), v.handle());
}

TEST_F(FwWindow, DestroyingTheMainWindowEndsTheLoop) {
    Probe w;
    ASSERT_TRUE(w.Make());
    fw::SetMainWindow(&w);
    w.onUser = [&](unsigned, fw::WPARAM) { w.Destroy(); };
    w.Post(WM_PROBE);
    EXPECT_EQ(fw::RunMessageLoop(), 0);
    EXPECT_TRUE(fw::QuitRequested());
    EXPECT_EQ(fw::MainWindow(), nullptr);
    EXPECT_FALSE(w.IsWindow());

    hl::Reset();
    EXPECT_FALSE(fw::QuitRequested());
    fw::Quit(3);
    EXPECT_EQ(fw::RunMessageLoop(), 3);
}

TEST_F(FwWindow, CreateFailsWhenOnCreateRefuses) {
    Probe w;
    w.createResult = -1;
    EXPECT_FALSE(w.Make());
    EXPECT_FALSE(w.IsWindow());
    EXPECT_EQ(w.handle(), fw::kNoWindow);
    EXPECT_EQ(w.log, (std::vector<std::string>{"destroy"}));
    EXPECT_TRUE(hl::LiveWindows().empty());
    // A child without a parent cannot be made either.
    Probe orphan;
    EXPECT_FALSE(orphan.Make({0, 0, 5, 5}, fw::kChild));
    EXPECT_TRUE(orphan.log.empty());
}

TEST_F(FwWindow, MaximiseMinimiseRestoreLikeWindows) {
    Probe w;
    ASSERT_TRUE(w.Make({100, 50, 900, 650}));
    w.Show(fw::ShowCmd::ShowNormal);
    w.log.clear();
    w.Show(fw::ShowCmd::Maximize);
    EXPECT_TRUE(w.IsMaximized());
    EXPECT_EQ(w.GetWindowRect(), (Rect{0, 0, 1920, 1040}));
    w.Show(fw::ShowCmd::Minimize);
    EXPECT_TRUE(w.IsMinimized());
    EXPECT_FALSE(w.IsMaximized());
    EXPECT_EQ(hl::Foreground(), fw::kNoWindow);
    w.Show(fw::ShowCmd::Restore);  // back to maximised, where it was before
    EXPECT_TRUE(w.IsMaximized());
    w.Show(fw::ShowCmd::Restore);
    EXPECT_FALSE(w.IsMaximized());
    EXPECT_EQ(w.GetWindowRect(), (Rect{100, 50, 900, 650}));
    EXPECT_EQ(w.log, (std::vector<std::string>{"move 0,0", "size 2 1920x1040", "size 1 0x0", "size 2 1920x1040",
                                               "move 100,50", "size 0 800x600"}));
}

TEST_F(FwWindow, HiddenWindowsComeBackAsTheyWere) {
    Probe a, b, popup, gone, child;
    ASSERT_TRUE(a.Make({0, 0, 800, 600}) && b.Make({100, 100, 500, 400}) && gone.Make());
    ASSERT_TRUE(popup.Make({200, 200, 300, 300}, fw::kPopup, &a) && child.Make({0, 0, 50, 50}, fw::kChild, &b));
    a.Show(fw::ShowCmd::Maximize);
    b.Show(fw::ShowCmd::ShowNormal);
    child.Show(fw::ShowCmd::ShowNA);
    gone.Show(fw::ShowCmd::Minimize);
    a.SetForeground();

    fw::HiddenWindows hidden = fw::HiddenWindows::HideAll();
    EXPECT_FALSE(hidden.empty());
    for (Probe* w : {&a, &b, &gone}) EXPECT_FALSE(w->IsVisible());
    EXPECT_TRUE(child.IsVisible());  // it goes with its parent
    // A pop-up of a hidden window asking to show waits for the set; a window gone meanwhile
    // is passed over.
    popup.Show(fw::ShowCmd::Show);
    EXPECT_FALSE(popup.IsVisible());
    gone.Destroy();

    hidden.Restore();
    EXPECT_TRUE(hidden.empty());
    EXPECT_TRUE(a.IsVisible() && a.IsMaximized());
    EXPECT_TRUE(b.IsVisible() && !b.IsMaximized());
    EXPECT_EQ(b.GetWindowRect(), (Rect{100, 100, 500, 400}));
    EXPECT_TRUE(popup.IsVisible());
    EXPECT_EQ(hl::Foreground(), a.handle());
    popup.Show(fw::ShowCmd::Hide);
    popup.Show(fw::ShowCmd::Show);  // no set hides its owner now
    EXPECT_TRUE(popup.IsVisible());
}

TEST_F(FwWindow, SetPosNotifiesOnlyWhatChanged) {
    Probe w;
    ASSERT_TRUE(w.Make({10, 10, 110, 60}));
    w.SetPos({-5, -7, 0, 0}, fw::kNoSize);
    w.SetPos({0, 0, 30, 40}, fw::kNoMove);
    w.SetPos(w.GetWindowRect());
    EXPECT_EQ(w.log, (std::vector<std::string>{"move -5,-7", "size 0 30x40"}));
    EXPECT_EQ(w.GetWindowRect(), (Rect{-5, -7, 25, 33}));

    // A child's rectangle follows its parent on the screen; its WM_MOVE is in parent terms.
    Probe child;
    ASSERT_TRUE(child.Make({5, 6, 15, 16}, fw::kChild, &w));
    child.Move(7, 8, 10, 10);
    EXPECT_EQ(child.log, (std::vector<std::string>{"move 7,8"}));
    EXPECT_EQ(child.GetWindowRect(), (Rect{2, 1, 12, 11}));
    EXPECT_EQ(child.ClientToScreen({1, 1}), (Point{3, 2}));
}

TEST_F(FwWindow, TimersFireAsTheClockMoves) {
    Probe w;
    ASSERT_TRUE(w.Make());
    int preTimers = 0;
    w.pre = [&](const fw::Msg& m) {
        preTimers += m.message == fw::WM_TIMER;
        return false;
    };
    w.SetTimer(1, 100);
    w.SetTimer(2, 250);
    hl::AdvanceClock(99);
    EXPECT_TRUE(w.log.empty());
    hl::AdvanceClock(401);  // now 500
    EXPECT_EQ(w.log,
              (std::vector<std::string>{"timer 1", "timer 1", "timer 2", "timer 1", "timer 1", "timer 1", "timer 2"}));
    EXPECT_EQ(preTimers, 7);
    EXPECT_EQ(hl::NowMs(), 500u);
    EXPECT_EQ(hl::Info(w).timers.size(), 2u);

    // A handler may kill its own timer; a timer set again starts its period anew.
    w.log.clear();
    w.onTimer = [&](unsigned id) {
        if (id == 1) w.KillTimer(1);
    };
    hl::AdvanceClock(100);  // 600: timer 1 fires and kills itself
    w.SetTimer(2, 250);     // next at 850, no longer at 750
    hl::AdvanceClock(200);
    EXPECT_EQ(w.log, (std::vector<std::string>{"timer 1"}));
    hl::AdvanceClock(50);
    EXPECT_EQ(w.log, (std::vector<std::string>{"timer 1", "timer 2"}));
    EXPECT_EQ(hl::Info(w).timers, (std::vector<unsigned>{2}));

    // A destroyed window's timers go with it.
    w.Destroy();
    hl::AdvanceClock(1000);
    EXPECT_EQ(w.log.back(), "destroy");
}

TEST_F(FwWindow, MoveDragFollowsTheMouseUntilRelease) {
    Probe w;
    ASSERT_TRUE(w.Make({100, 100, 300, 200}, fw::kPopup | fw::kVisible));
    w.dragOnDown = true;
    w.log.clear();
    hl::LButtonDown(w, {20, 20});
    EXPECT_EQ(hl::Info(w).moveDrags, 1);
    hl::DragBy(w, 15, -5);
    EXPECT_EQ(w.GetWindowRect(), (Rect{115, 95, 315, 195}));
    hl::LButtonUp(w, {20, 20});  // taken by the drag, not seen by the window
    hl::DragBy(w, 50, 50);       // no drag any more
    EXPECT_EQ(w.GetWindowRect(), (Rect{115, 95, 315, 195}));
    EXPECT_EQ(w.log, (std::vector<std::string>{"ldown 20,20", "move 115,95"}));

    // A press on a caption area drags through the default non-client handling; an edge
    // starts a size drag that respects the minimum size.
    w.dragOnDown = false;
    w.captionHeight = 10;
    w.minSize = {150, 50};
    hl::LButtonDown(w, {50, 5});
    EXPECT_EQ(hl::Info(w).moveDrags, 2);
    hl::LButtonUp(w, {50, 5});
    hl::LButtonDown(w, {199, 50});
    EXPECT_EQ(hl::Info(w).resizeDrags, 1);
    EXPECT_EQ(hl::Info(w).lastResizeHit, fw::HTRIGHT);
    hl::DragBy(w, -100, 0);
    EXPECT_EQ(w.GetWindowRect().Width(), 150);
    hl::LButtonUp(w, {99, 50});
}

TEST_F(FwWindow, MouseLeaveComesOnceWhenTracked) {
    Probe a, b;
    ASSERT_TRUE(a.Make({0, 0, 100, 100}, fw::kPopup | fw::kVisible));
    ASSERT_TRUE(b.Make({200, 0, 300, 100}, fw::kPopup | fw::kVisible));
    a.trackLeave = true;
    hl::MouseMove(a, {10, 10});
    EXPECT_TRUE(hl::Info(a).trackingLeave);
    hl::MouseMove(a, {150, 10});  // off the window: no move, one leave
    hl::MouseMove(a, {160, 10});
    EXPECT_EQ(a.log, (std::vector<std::string>{"show 1 visible=0", "mousemove 10,10", "leave"}));
    hl::MouseMove(a, {20, 20});
    hl::MouseMove(b, {5, 5});  // onto another window
    EXPECT_EQ(a.log.back(), "leave");
    EXPECT_EQ(fw::GetCursorPos(), (Point{205, 5}));
    // Asking while the mouse is elsewhere gives the leave at once.
    a.log.clear();
    a.TrackMouseLeave();
    hl::Pump();
    EXPECT_EQ(a.log, (std::vector<std::string>{"leave"}));
}

TEST_F(FwWindow, ChildrenGoWithTheirParent) {
    auto parent = std::make_unique<Probe>();
    Probe child, owned;
    ASSERT_TRUE(parent->Make());
    ASSERT_TRUE(child.Make({0, 0, 10, 10}, fw::kChild, parent.get()));
    ASSERT_TRUE(owned.Make({0, 0, 10, 10}, fw::kPopup, parent.get()));
    parent->Destroy();
    EXPECT_FALSE(child.IsWindow());
    EXPECT_FALSE(owned.IsWindow());
    EXPECT_EQ(child.log.back(), "destroy");
    EXPECT_TRUE(hl::LiveWindows().empty());
    parent.reset();
}

TEST_F(FwWindow, PaintingAndLayeredPictures) {
    Probe w;
    ASSERT_TRUE(w.Make({0, 0, 20, 10}));
    w.Invalidate();
    hl::Pump();
    EXPECT_TRUE(w.log.empty()) << "hidden windows are not painted";
    w.Show(fw::ShowCmd::ShowNoActivate);
    EXPECT_EQ(hl::Foreground(), fw::kNoWindow);
    w.log.clear();
    hl::Pump();
    hl::Pump();
    EXPECT_EQ(w.log, (std::vector<std::string>{"paint"}));

    // A layered picture sets the window's size.
    w.log.clear();
    w.UpdateLayered(fw::Bitmap(30, 40));
    EXPECT_EQ(w.log, (std::vector<std::string>{"size 0 30x40"}));
    EXPECT_EQ(hl::Info(w).layeredUpdates, 1);
    ASSERT_NE(hl::LayeredPicture(w), nullptr);
    EXPECT_EQ(hl::LayeredPicture(w)->height(), 40);
}

Probe* g_leftover = nullptr;
TEST_F(FwWindow, ResetForgetsWindowsOfEarlierTests) {
    g_leftover = new Probe();
    ASSERT_TRUE(g_leftover->Make());
    g_leftover->SetTimer(5, 10);
    g_leftover->Post(WM_PROBE);
    hl::Reset();
    EXPECT_TRUE(hl::LiveWindows().empty());
    hl::AdvanceClock(100);
    EXPECT_TRUE(g_leftover->log.empty()) << "no timer and no stale message";
    Probe fresh;
    ASSERT_TRUE(fresh.Make());
    EXPECT_EQ(hl::LiveWindows(), std::vector<fw::Handle>{fresh.handle()});
    delete g_leftover;  // its own destruction still works
    EXPECT_EQ(hl::LiveWindows(), std::vector<fw::Handle>{fresh.handle()});
}

}  // namespace
