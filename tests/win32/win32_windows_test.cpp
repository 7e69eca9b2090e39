// Windows of the Win32 back end and their messages: what the client asks reaches the system's
// window, what the system changes by itself comes back as fw messages, and input, timers,
// posted messages, modal loops and drags run through the back end's loops.
#include "win32_support.h"  // the system's headers first

#include <atomic>
#include <thread>

#include "fw/dialog.h"
#include "fw/system.h"

using namespace rvtest;

namespace {

std::wstring Caption(HWND h) {
    wchar_t buf[256] = {};
    GetWindowTextW(h, buf, 256);
    return buf;
}

}  // namespace

using Win32Windows = Win32Test;

TEST_F(Win32Windows, WhatTheClientAsksReachesTheSystemWindow) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup | fw::kToolWindow, fw::Rect::FromXYWH(100, 120, 300, 200), nullptr, "退出提示 test"));
    HWND h = w.hwnd();
    ASSERT_TRUE(h);
    EXPECT_EQ(SystemRect(h), fw::Rect::FromXYWH(100, 120, 300, 200));
    EXPECT_EQ(Caption(h), L"\u9000\u51fa\u63d0\u793a test");
    EXPECT_TRUE(GetWindowLongW(h, GWL_STYLE) & WS_POPUP);
    EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(IsWindowVisible(h));

    w.Show(fw::ShowCmd::Show);
    EXPECT_TRUE(IsWindowVisible(h));
    w.SetPos(fw::Rect::FromXYWH(150, 160, 320, 210));
    EXPECT_EQ(SystemRect(h), fw::Rect::FromXYWH(150, 160, 320, 210));
    const Seen* size = w.Last(fw::WM_SIZE);
    ASSERT_TRUE(size);
    EXPECT_EQ(fw::PointParamX(size->lp), 320);
    EXPECT_EQ(fw::PointParamY(size->lp), 210);
    w.SetCaption("LumoDrakmoor");
    EXPECT_EQ(Caption(h), L"LumoDrakmoor");

    w.Show(fw::ShowCmd::Hide);
    EXPECT_FALSE(IsWindowVisible(h));
    w.Destroy();
    EXPECT_FALSE(IsWindow(h));
    EXPECT_TRUE(w.destroyed);
}

TEST_F(Win32Windows, CreationSendsOneSizeAndMoveAfterTheCreationMessage) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup, fw::Rect::FromXYWH(10, 20, 200, 100)));
    ASSERT_FALSE(w.seen.empty());
    EXPECT_EQ(w.seen.front().msg, fw::WM_CREATE);
    EXPECT_EQ(w.Count(fw::WM_MOVE), 0u);  // not inside the creation: at the next turn of the loop
    Pump([&] { return w.Count(fw::WM_SIZE) > 0; });
    EXPECT_EQ(w.Count(fw::WM_MOVE), 1u);
    EXPECT_EQ(w.Count(fw::WM_SIZE), 1u);
    EXPECT_EQ(w.Last(fw::WM_MOVE)->lp, fw::MakePointParam(10, 20));
    EXPECT_EQ(w.Last(fw::WM_SIZE)->lp, fw::MakePointParam(200, 100));
}

TEST_F(Win32Windows, WhatTheSystemChangesComesBackAsMessages) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup | fw::kMinimizeBox | fw::kMaximizeBox, fw::Rect::FromXYWH(40, 50, 300, 200)));
    w.Show(fw::ShowCmd::Show);
    PumpFor(50);
    HWND h = w.hwnd();

    // Moved and sized from outside (as the user would through the system).
    SetWindowPos(h, nullptr, 70, 90, 310, 220, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(w.GetWindowRect(), fw::Rect::FromXYWH(70, 90, 310, 220));
    EXPECT_EQ(w.Last(fw::WM_MOVE)->lp, fw::MakePointParam(70, 90));
    EXPECT_EQ(w.Last(fw::WM_SIZE)->lp, fw::MakePointParam(310, 220));

    // Minimised by the system: the state, and the size message that says so.
    ShowWindow(h, SW_MINIMIZE);
    Pump([&] { return w.IsMinimized(); });
    EXPECT_TRUE(w.IsMinimized());
    EXPECT_EQ(w.Last(fw::WM_SIZE)->wp, fw::SIZE_MINIMIZED);
    ShowWindow(h, SW_RESTORE);
    Pump([&] { return !w.IsMinimized(); });
    EXPECT_FALSE(w.IsMinimized());
    EXPECT_EQ(w.Last(fw::WM_SIZE)->wp, fw::SIZE_RESTORED);
    EXPECT_EQ(SystemRect(h), fw::Rect::FromXYWH(70, 90, 310, 220));

    // The system's close command (Alt+F4, the taskbar) goes through the client's handlers.
    SendMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_GE(w.Count(fw::WM_CLOSE), 1u);
    EXPECT_FALSE(w.IsWindow());
}

TEST_F(Win32Windows, MaximisingFillsTheWorkAreaAndRestoringGoesBack) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup | fw::kMinimizeBox | fw::kMaximizeBox, fw::Rect::FromXYWH(30, 40, 400, 300)));
    w.Show(fw::ShowCmd::Show);
    w.Show(fw::ShowCmd::Maximize);
    HWND h = w.hwnd();
    EXPECT_TRUE(IsZoomed(h));
    EXPECT_EQ(SystemRect(h), fw::WorkArea());
    EXPECT_EQ(w.Last(fw::WM_SIZE)->wp, fw::SIZE_MAXIMIZED);

    // Minimised from maximised comes back maximised; restoring then goes to the old place.
    w.Show(fw::ShowCmd::Minimize);
    EXPECT_TRUE(IsIconic(h));
    w.Show(fw::ShowCmd::Restore);
    EXPECT_TRUE(IsZoomed(h));
    EXPECT_EQ(SystemRect(h), fw::WorkArea());
    w.Show(fw::ShowCmd::Restore);
    EXPECT_FALSE(IsZoomed(h));
    EXPECT_EQ(SystemRect(h), fw::Rect::FromXYWH(30, 40, 400, 300));
}

TEST_F(Win32Windows, ChildrenAndOwnedWindowsGoWithTheirParent) {
    Recorder parent, child, owned;
    ASSERT_TRUE(parent.Make(fw::kPopup, fw::Rect::FromXYWH(100, 100, 400, 300)));
    ASSERT_TRUE(child.Make(fw::kChild, fw::Rect::FromXYWH(10, 20, 100, 50), &parent, "child", 171));
    ASSERT_TRUE(owned.Make(fw::kPopup | fw::kToolWindow, fw::Rect::FromXYWH(300, 300, 80, 60), &parent));
    HWND ph = parent.hwnd(), ch = child.hwnd(), oh = owned.hwnd();
    EXPECT_EQ(GetParent(ch), ph);
    EXPECT_EQ(GetDlgCtrlID(ch), 171);
    EXPECT_EQ(GetWindow(oh, GW_OWNER), ph);
    // A child lives in its parent's client area and moves with it.
    parent.Show(fw::ShowCmd::Show);
    child.Show(fw::ShowCmd::Show);
    EXPECT_EQ(SystemRect(ch), fw::Rect::FromXYWH(110, 120, 100, 50));
    parent.SetPos(fw::Rect::FromXYWH(200, 150, 400, 300));
    EXPECT_EQ(SystemRect(ch), fw::Rect::FromXYWH(210, 170, 100, 50));
    EXPECT_EQ(child.GetWindowRect(), fw::Rect::FromXYWH(210, 170, 100, 50));

    parent.Destroy();
    EXPECT_TRUE(child.destroyed);
    EXPECT_TRUE(owned.destroyed);
    EXPECT_FALSE(child.IsWindow());
    EXPECT_FALSE(IsWindow(ch));
    EXPECT_FALSE(IsWindow(oh));
}

TEST_F(Win32Windows, TheStackingOrderIsTheSystemsBottomFirstAndTheFocusedWindowIsTheForegroundOne) {
    Recorder a, b, c, child;
    for (Recorder* w : {&a, &b, &c}) {
        ASSERT_TRUE(w->Make(fw::kPopup, fw::Rect::FromXYWH(100, 100, 200, 100)));
        w->Show(fw::ShowCmd::Show);
    }
    ASSERT_TRUE(child.Make(fw::kChild, fw::Rect::FromXYWH(0, 0, 50, 50), &a));
    a.SetPos(a.GetWindowRect(), fw::kTopOfZOrder);
    std::vector<fw::Handle> order = fw::backend::StackingOrder();
    EXPECT_EQ(std::count(order.begin(), order.end(), child.handle()), 0);  // top-level windows only
    std::erase_if(order, [&](fw::Handle h) { return h != a.handle() && h != b.handle() && h != c.handle(); });
    EXPECT_EQ(order, (std::vector<fw::Handle>{b.handle(), c.handle(), a.handle()}));

    b.SetForeground();
    EXPECT_EQ(fw::backend::FocusedTopLevel(), b.handle());
}

TEST_F(Win32Windows, MessagesPostedFromOtherThreadsArriveInOrder) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup, fw::Rect::FromXYWH(0, 0, 50, 50)));
    const fw::Handle h = w.handle();
    constexpr int kEach = 200;
    std::vector<std::thread> workers;
    for (int t = 0; t < 2; ++t)
        workers.emplace_back([h, t] {
            for (int i = 0; i < kEach; ++i) fw::Window::Post(h, fw::WM_USER + 10 + t, static_cast<fw::WPARAM>(i));
        });
    for (auto& th : workers) th.join();
    ASSERT_TRUE(Pump([&] { return w.Count(fw::WM_USER + 10) + w.Count(fw::WM_USER + 11) == 2 * kEach; }));
    for (unsigned msg : {fw::WM_USER + 10, fw::WM_USER + 11}) {
        fw::WPARAM next = 0;
        for (const Seen& s : w.seen)
            if (s.msg == msg) {
                EXPECT_EQ(s.wp, next++);
            }
    }
    // Posted to a window that is gone: lost, and nothing breaks.
    w.Destroy();
    EXPECT_FALSE(fw::Window::Post(h, fw::WM_USER + 10));
}

TEST_F(Win32Windows, TimersFireUntilKilledAndGoWithTheWindow) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup, fw::Rect::FromXYWH(0, 0, 50, 50)));
    w.SetTimer(7, 15);
    ASSERT_TRUE(Pump([&] { return w.Count(fw::WM_TIMER) >= 3; }));
    EXPECT_EQ(w.Last(fw::WM_TIMER)->wp, 7u);
    w.KillTimer(7);
    PumpFor(30);  // one may have been queued already
    const std::size_t after = w.Count(fw::WM_TIMER);
    PumpFor(100);
    EXPECT_EQ(w.Count(fw::WM_TIMER), after);

    // A timer's message goes through the window's pre-translation, which may take it.
    w.swallow = [](const fw::Msg& m) { return m.message == fw::WM_TIMER; };
    w.SetTimer(8, 15);
    ASSERT_TRUE(Pump([&] { return !w.pre.empty() && w.pre.back().message == fw::WM_TIMER; }));
    EXPECT_EQ(w.Count(fw::WM_TIMER), after);
}

TEST_F(Win32Windows, MouseInputArrivesInClientCoordinates) {
    Recorder below;  // something to be active first, away from the test window
    ASSERT_TRUE(below.Make(fw::kPopup, fw::Rect::FromXYWH(600, 600, 50, 50)));
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup, fw::Rect::FromXYWH(200, 200, 300, 200)));
    w.Show(fw::ShowCmd::Show);
    w.SetForeground();
    PumpFor(50);
    MoveMouse({260, 230});
    LeftDown();
    LeftUp();
    ASSERT_TRUE(Pump([&] { return w.Count(fw::WM_LBUTTONUP) > 0; }));
    const Seen* down = w.Last(fw::WM_LBUTTONDOWN);
    ASSERT_TRUE(down);
    EXPECT_EQ(fw::PointParamX(down->lp), 60);
    EXPECT_EQ(fw::PointParamY(down->lp), 30);
    EXPECT_GT(w.Count(fw::WM_NCHITTEST), 0u);
    EXPECT_GT(w.Count(fw::WM_SETCURSOR), 0u);
    // The press went through the pre-translation on its way.
    bool preSawDown = false;
    for (const fw::Msg& m : w.pre) preSawDown |= m.message == fw::WM_LBUTTONDOWN;
    EXPECT_TRUE(preSawDown);

    // A second press soon after is a double click (the class asks for them).
    LeftDown();
    LeftUp();
    EXPECT_TRUE(Pump([&] { return w.Count(fw::WM_LBUTTONDBLCLK) > 0; }));
}

TEST_F(Win32Windows, KeysGoThroughPreTranslationAndAltF4IsTheCloseCommand) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup | fw::kMinimizeBox, fw::Rect::FromXYWH(200, 200, 300, 200)));
    w.Show(fw::ShowCmd::Show);
    w.SetForeground();
    w.SetFocus();
    PumpFor(50);
    w.swallow = [](const fw::Msg& m) { return m.message == fw::WM_KEYDOWN && m.wParam == fw::VK_ESCAPE; };
    PressKeys({}, VK_ESCAPE);
    PressKeys({}, VK_F9);
    ASSERT_TRUE(Pump([&] { return w.Count(fw::WM_KEYUP) >= 2; }));
    const Seen* key = w.Last(fw::WM_KEYDOWN);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->wp, fw::VK_F9);  // Escape was taken before the handlers
    EXPECT_EQ(w.Count(fw::WM_KEYDOWN), 1u);

    PressKeys({VK_MENU}, VK_F4);
    ASSERT_TRUE(Pump([&] { return w.Count(fw::WM_CLOSE) > 0; }));
    const Seen* sys = w.Last(fw::WM_SYSKEYDOWN);
    ASSERT_TRUE(sys);
    EXPECT_EQ(sys->wp, fw::VK_F4);
    EXPECT_FALSE(w.IsWindow());
}

TEST_F(Win32Windows, DragsMoveAndSizeTheWindowWithTheButtonHeld) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup, fw::Rect::FromXYWH(300, 300, 200, 150)));
    w.Show(fw::ShowCmd::Show);
    w.SetForeground();
    PumpFor(50);
    // The whole window is its caption: a press there moves it. The user moves on once the
    // window has the press.
    std::atomic<int> presses{0};
    w.onMessage = [&](unsigned msg, fw::WPARAM, fw::LPARAM) { presses += msg == fw::WM_NCLBUTTONDOWN; };
    auto pressed = [&](int n) {
        for (int i = 0; i < 500 && presses < n; ++i) Sleep(10);
    };
    w.hit = fw::HTCAPTION;
    std::thread user([&] {
        MoveMouse({320, 310});
        LeftDown();
        pressed(1);
        MoveMouse({370, 340});
        Sleep(60);
        MoveMouse({420, 360});
        Sleep(60);
        LeftUp();
    });
    const bool moved = Pump([&] { return w.GetWindowRect().left == 400; }, 5000);
    user.join();
    EXPECT_TRUE(moved);
    EXPECT_EQ(SystemRect(w.hwnd()), fw::Rect::FromXYWH(400, 350, 200, 150));
    EXPECT_EQ(w.Last(fw::WM_MOVE)->lp, fw::MakePointParam(400, 350));
    PumpFor(50);

    // By the bottom-right edge, no smaller than the window allows.
    w.hit = fw::HTBOTTOMRIGHT;
    w.minTrack = {150, 120};
    std::thread user2([&] {
        MoveMouse({598, 498});
        LeftDown();
        pressed(2);
        MoveMouse({560, 470});
        Sleep(60);
        MoveMouse({420, 380});  // far smaller than allowed
        Sleep(60);
        LeftUp();
    });
    const bool sized = Pump([&] { return w.GetWindowRect().Width() == 150; }, 5000);
    user2.join();
    EXPECT_TRUE(sized);
    EXPECT_EQ(SystemRect(w.hwnd()), fw::Rect::FromXYWH(400, 350, 150, 120));
}

TEST_F(Win32Windows, ModalLoopDisablesTheOwnerUntilItEnds) {
    Recorder owner, dlg;
    ASSERT_TRUE(owner.Make(fw::kPopup, fw::Rect::FromXYWH(100, 100, 300, 200)));
    ASSERT_TRUE(dlg.Make(fw::kPopup | fw::kDialog, fw::Rect::FromXYWH(150, 150, 100, 80), &owner));
    owner.Show(fw::ShowCmd::Show);
    bool ownerWasDisabled = false, postedArrived = false;
    dlg.onMessage = [&](unsigned msg, fw::WPARAM, fw::LPARAM) {
        if (msg == fw::WM_TIMER) {
            ownerWasDisabled = !IsWindowEnabled(owner.hwnd());
            dlg.KillTimer(1);
            fw::EndModal(dlg, 42);
        }
    };
    owner.onMessage = [&](unsigned msg, fw::WPARAM, fw::LPARAM) { postedArrived |= msg == fw::WM_USER + 5; };
    owner.Post(fw::WM_USER + 5);  // delivered by the modal loop too
    dlg.SetTimer(1, 30);
    EXPECT_EQ(fw::RunModal(dlg), 42);
    EXPECT_TRUE(ownerWasDisabled);
    EXPECT_TRUE(postedArrived);
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd()));
    EXPECT_FALSE(IsWindowVisible(dlg.hwnd()));

    // A dialog destroyed while its loop runs ends it with -1.
    dlg.onMessage = [&](unsigned msg, fw::WPARAM, fw::LPARAM) {
        if (msg == fw::WM_TIMER) dlg.Destroy();
    };
    dlg.SetTimer(2, 30);
    EXPECT_EQ(fw::RunModal(dlg), -1);
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd()));
}

TEST_F(Win32Windows, TheMainWindowsDestructionEndsTheLoopWithCodeZero) {
    auto* w = new Recorder;
    ASSERT_TRUE(w->Make(fw::kPopup, fw::Rect::FromXYWH(0, 0, 50, 50)));
    fw::SetMainWindow(w);
    // Also while a message box waits for an answer (the tray's 退出 under the exit prompt).
    w->onMessage = [w](unsigned msg, fw::WPARAM, fw::LPARAM) {
        if (msg == fw::WM_USER + 1) {
            w->SetTimer(1, 50);
            fw::MessageBox(fw::kNoWindow, "确定要退出吗？", "退出提示", fw::MB_OKCANCEL | fw::MB_ICONQUESTION);
        } else if (msg == fw::WM_TIMER) {
            w->Destroy();
        }
    };
    w->Post(fw::WM_USER + 1);
    EXPECT_EQ(fw::RunMessageLoop(), 0);
    EXPECT_TRUE(fw::QuitRequested());
    delete w;
}

TEST_F(Win32Windows, PaintingShowsTheBackBufferOnTheScreen) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup | fw::kTopmost, fw::Rect::FromXYWH(500, 400, 120, 80)));
    int paints = 0;
    w.paint = [&](fw::Canvas& c) {
        ++paints;
        c.Clear(0xFF2040C0);
        c.FillRect(fw::Rect{60, 0, 120, 80}, 0xFFE0A010);
    };
    w.Show(fw::ShowCmd::Show);
    w.UpdateNow();
    PumpFor(50);
    EXPECT_GE(paints, 1);
    EXPECT_EQ(ScreenPixel({510, 410}), 0x2040C0u);
    EXPECT_EQ(ScreenPixel({610, 470}), 0xE0A010u);
    // Invalidating paints again, the whole window from its back buffer.
    w.paint = [&](fw::Canvas& c) {
        ++paints;
        c.Clear(0xFF10E010);
    };
    const int before = paints;
    w.Invalidate();
    ASSERT_TRUE(Pump([&] { return paints > before; }));
    PumpFor(20);
    EXPECT_EQ(ScreenPixel({610, 470}), 0x10E010u);
}

TEST_F(Win32Windows, LayeredPictureReadsBackPixelForPixelAndLetsClicksThroughWhereClear) {
    // Something solid to be seen through the clear half.
    Recorder back;
    ASSERT_TRUE(back.Make(fw::kPopup, fw::Rect::FromXYWH(700, 200, 200, 100)));
    back.paint = [](fw::Canvas& c) { c.Clear(0xFF0000FF); };
    back.Show(fw::ShowCmd::Show);
    back.UpdateNow();

    Recorder top;
    ASSERT_TRUE(top.Make(fw::kPopup | fw::kLayered | fw::kTopmost, fw::Rect::FromXYWH(700, 200, 10, 10)));
    fw::Bitmap pic(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) pic.data()[y * 200 + x] = 0xFFC81E32;  // opaque left half
    top.UpdateLayered(pic);
    top.Show(fw::ShowCmd::ShowNoActivate);
    PumpFor(100);
    HWND th = top.hwnd();
    EXPECT_TRUE(GetWindowLongW(th, GWL_EXSTYLE) & WS_EX_LAYERED);
    // The window took the picture's size.
    EXPECT_EQ(SystemRect(th), fw::Rect::FromXYWH(700, 200, 200, 100));
    EXPECT_EQ(top.GetWindowRect(), fw::Rect::FromXYWH(700, 200, 200, 100));

    EXPECT_EQ(ScreenPixel({720, 220}), 0xC81E32u);  // opaque: the picture's own colour
    EXPECT_EQ(ScreenPixel({880, 280}), 0x0000FFu);  // clear: what lies below
    EXPECT_EQ(WindowFromPoint(POINT{720, 220}), th);
    // Clicks on clear pixels go below: the system's hit-testing of such windows. Wine draws
    // the clear pixels through but still answers the layered window here.
    if (!UnderWine()) {
        EXPECT_EQ(WindowFromPoint(POINT{880, 280}), back.hwnd());
    }

    // A new picture replaces the old one where it stands.
    for (std::uint32_t& p : std::span(pic.data(), 200 * 100)) p = p ? 0xFF14B450 : 0;
    top.UpdateLayered(pic);
    PumpFor(50);
    EXPECT_EQ(ScreenPixel({720, 220}), 0x14B450u);
    EXPECT_EQ(ScreenPixel({880, 280}), 0x0000FFu);
}
