#pragma once
// What the game window's tests share: a launcher on the headless desktop with the game
// window registered, the launcher page's script calls, and helpers to wait for clearing
// workers and to read what the window shows: its title bar's pictures, the windows it opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_wnd.h"
#include "shared/messages.h"
#include "shared/resource.h"
#include "fw/app.h"
#include "fw/headless/browser.h"
#include "fw/headless/desktop.h"
#include "fw/headless/modal.h"
#include "fw/headless/services.h"
#include "fw/message_box.h"
#include "fw/resources.h"
#include "fw/text.h"
#include "game/chat_library.h"
#include "game/heartbeat.h"
#include "game/rudov_game.h"
#include "test_support.h"
#include "ui/skin.h"
#include "web/web_dlg.h"

namespace game_test {

namespace hl = fw::headless;

inline fw::Point Inside(const fw::Rect& r) { return {r.left + r.Width() / 2, r.top + r.Height() / 2}; }

// Waits (pumping the UI thread's messages) until `done` holds; false on time-out.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        hl::Pump();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

inline bool WaitForClearWorkers() {
    return PumpUntil([] { return ClearWorker::Running() == 0; });
}

// The pixels of `r` in `b`, row by row.
inline std::vector<std::uint32_t> Region(const fw::Bitmap& b, const fw::Rect& r) {
    std::vector<std::uint32_t> out;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) out.push_back(b.At(x, y));
    return out;
}

// Which slice of a strip `shown` holds in `r`, given the same picture without it (`base`):
// the slice n whose drawing over `base` gives exactly `shown`; -1 when `r` shows `base`
// unchanged; -2 when it is neither.
inline int ShownSlice(const fw::Bitmap& shown, const fw::Bitmap& base, int resource, const fw::Rect& r,
                      ui::Strip orientation, int slices) {
    if (Region(shown, r) == Region(base, r)) return -1;
    std::unique_ptr<fw::Image> strip;
    ui::LoadSkinImage(resource, strip);
    for (int n = 0; n < slices; ++n) {
        fw::Bitmap expect;
        expect.CopyFrom(base);
        fw::Canvas c(expect);
        ui::DrawSlice(c, strip.get(), r, n, orientation);
        if (Region(shown, r) == Region(expect, r)) return n;
    }
    return -2;
}

// Whether `shown` holds slice n of the strip in `r`, drawn over `base`.
inline bool ShowsSlice(const fw::Bitmap& shown, const fw::Bitmap& base, int resource, const fw::Rect& r,
                       ui::Strip orientation, int n) {
    std::unique_ptr<fw::Image> strip;
    ui::LoadSkinImage(resource, strip);
    fw::Bitmap expect;
    expect.CopyFrom(base);
    fw::Canvas c(expect);
    ui::DrawSlice(c, strip.get(), r, n, orientation);
    return Region(shown, r) == Region(expect, r) && Region(shown, r) != Region(base, r);
}

inline bool HasTimer(const fw::Window& w, unsigned id) {
    const auto t = hl::Info(w).timers;
    return std::find(t.begin(), t.end(), id) != t.end();
}

// ---- What the game window shows, and where (as the player sees it on the desktop).

// The title bar's places for the window's current size (TitleBarLayoutAt1300 holds them to the
// design and to what is drawn): button k (CTitleBar::kClose ... kPay), the binding and VIP
// buttons (empty while not shown), the part that drags the window.
inline fw::Rect Button(const CRudovGame& g, int k) { return g.titleBar().ButtonRect(k); }
inline fw::Rect BindButton(const CRudovGame& g) { return g.titleBar().BindButton(); }
inline fw::Rect VipButton(const CRudovGame& g) { return g.titleBar().VipButton(); }
inline fw::Rect DragArea(const CRudovGame& g) { return g.titleBar().DragArea(); }

// The frame picture in its two bands (title band, body), as the window lays it under
// everything else, at w x h.
inline fw::Bitmap FrameBands(int w, int h) {
    std::unique_ptr<fw::Image> frame;
    ui::LoadSkinImage(shared::IDB_GAME_FRAME, frame);
    fw::Bitmap b(w, h);
    fw::Canvas c(b);
    c.DrawImage(frame.get(), {0, 0, w, 40}, {0, 0, frame->width(), 40});
    c.DrawImage(frame.get(), {0, 40, w, h}, {0, 40, frame->width(), frame->height()});
    return b;
}

struct ButtonPicture {
    int resource;
    ui::Strip strip;
    int slices;
};
// The pictures a title-bar button is drawn from (the maximise button: maximise or restore).
inline std::vector<ButtonPicture> PicturesOf(int k) {
    using ui::Strip;
    switch (k) {
    case CTitleBar::kClose: return {{shared::IDB_GAME_CLOSE, Strip::Horizontal, 3}};
    case CTitleBar::kMin: return {{shared::IDB_GAME_MIN, Strip::Horizontal, 3}};
    case CTitleBar::kMax:
        return {{shared::IDB_GAME_MAX, Strip::Horizontal, 3}, {shared::IDB_GAME_RESTORE, Strip::Horizontal, 3}};
    case CTitleBar::kReturn: return {{shared::IDB_GAME_RETURN, Strip::Vertical, 2}};
    case CTitleBar::kClear: return {{shared::IDB_GAME_CLEAR, Strip::Vertical, 2}};
    case CTitleBar::kBossKey: return {{shared::IDB_GAME_BOSSKEY, Strip::Vertical, 2}};
    case CTitleBar::kPay: return {{shared::IDB_GAME_PAY, Strip::Vertical, 2}};
    default: return {};
    }
}

// How the painted window shows title-bar button k: the slice of its picture (0 normal,
// 1 hovered, 2 pressed); -1 when its place shows the bare bar; -2 anything else.
inline int Look(CRudovGame& g, int k) {
    const fw::Bitmap shown = hl::PaintWindow(g);
    const fw::Bitmap bands = FrameBands(shown.width(), shown.height());
    int look = -1;
    for (const ButtonPicture& p : PicturesOf(k)) {
        const int n = ShownSlice(shown, bands, p.resource, Button(g, k), p.strip, p.slices);
        if (n >= 0) return n;
        if (n == -2) look = -2;
    }
    return look;
}

// Whether every button of the title bar shows its picture exactly where the layout has it.
inline void ExpectButtonsDrawnInPlace(CRudovGame& g) {
    for (int k : {CTitleBar::kClose, CTitleBar::kMin, CTitleBar::kMax, CTitleBar::kReturn, CTitleBar::kClear,
                  CTitleBar::kBossKey, CTitleBar::kPay})
        EXPECT_GE(Look(g, k), 0) << "button " << k;
}

// The clear-cache button's square where the spinner turns while clearing.
inline fw::Rect SpinnerSquare(const CRudovGame& g) {
    const fw::Rect c = Button(g, CTitleBar::kClear);
    return fw::Rect::FromXYWH(c.left + 4, c.top + 4, 16, 16);
}

// Which slice of the clearing picture the clear-cache button shows (the spinner's square
// aside): 0 normal, 1 hovered; -1 none (the idle picture, say).
inline int ClearingLook(CRudovGame& g) {
    const fw::Bitmap shown = hl::PaintWindow(g);
    const fw::Rect r = Button(g, CTitleBar::kClear), hole = SpinnerSquare(g);
    std::unique_ptr<fw::Image> strip;
    ui::LoadSkinImage(shared::IDB_GAME_CLEARING, strip);
    for (int n = 0; n < 2; ++n) {
        fw::Bitmap expect = FrameBands(shown.width(), shown.height());
        fw::Canvas c(expect);
        ui::DrawSlice(c, strip.get(), r, n, ui::Strip::Vertical);
        bool same = true;
        for (int y = r.top; y < r.bottom && same; ++y)
            for (int x = r.left; x < r.right && same; ++x)
                if (!hole.Contains({x, y}) && shown.At(x, y) != expect.At(x, y)) same = false;
        if (same) return n;
    }
    return -1;
}
inline bool ShowsClearing(CRudovGame& g) { return ClearingLook(g) >= 0; }

// The live windows of type T whose parent is `owner`.
template <class T>
std::vector<T*> WindowsOf(const fw::Window& owner) {
    std::vector<T*> out;
    for (fw::Handle h : hl::LiveWindows())
        if (auto* w = dynamic_cast<T*>(fw::Window::FromHandle(h)); w && w->parent() == &owner) out.push_back(w);
    return out;
}
// The window of type T that `owner` has open; null when none (a second one fails the test).
template <class T>
T* OpenWindow(const fw::Window& owner) {
    const std::vector<T*> all = WindowsOf<T>(owner);
    EXPECT_LE(all.size(), 1u);
    return all.empty() ? nullptr : all.front();
}
// The game windows on the desktop.
inline std::vector<CRudovGame*> GameWindows() {
    std::vector<CRudovGame*> out;
    for (fw::Handle h : hl::LiveWindows())
        if (auto* g = dynamic_cast<CRudovGame*>(fw::Window::FromHandle(h))) out.push_back(g);
    return out;
}

// A hidden game window goes on handling its messages and its mouse (while an animation waits
// for it to be shown).
inline void ExpectHandlingMessages(CRudovGame& g) {
    g.Post(WM_PAY_CLOSED);
    EXPECT_GE(hl::Pump(), 1);
    hl::MouseMove(g, Inside(Button(g, CTitleBar::kPay)));
    EXPECT_EQ(Look(g, CTitleBar::kPay), 1);
}

class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        hl::ResetGameServices();
        hl::ResetModal();
        fw::ClearResourceOverrides();
        ui::SetModuleDirForTesting(dir.dir());
        testing_support::WriteFile(
            dir.file("static.ini"),
            "[dmor]\nstart=1\nuid=U7\nfilename=S9\n[hosts]\nportal=127.0.0.1:8088\npay=pay.test\n");
        RegisterGameWindow();
        // A short final pause keeps the clearing tests quick; one test runs the real second.
        ClearWorker::SetPauseForTesting(std::chrono::milliseconds(10));
        // Each test loads the chat library of its own folder, if it puts one there.
        chat::ForgetLibraryForTesting();
        chat::ImInbox::ResetForTesting();
    }

    void TearDown() override {
        if (launcher && launcher->gameWindow()) {
            if (launcher->IsWindow()) {
                launcher->Send(WM_GAME_CLOSED);  // the launcher closes and deletes its game window
            } else {
                fw::Window* g = launcher->gameWindow();
                g->Send(fw::WM_CLOSE);
                delete g;
            }
        }
        direct.reset();
        if (launcher) {
            if (launcher->IsWindow()) launcher->Send(fw::WM_CLOSE);
            launcher.reset();
        }
        EXPECT_TRUE(WaitForClearWorkers());
        EXPECT_EQ(Heartbeat::Running(), 0);  // joined when their window went
        EXPECT_TRUE(GameWindows().empty());
        chat::ForgetLibraryForTesting();
        chat::ImInbox::ResetForTesting();
        Heartbeat::SetPauseForTesting(std::chrono::milliseconds(0));
        CMainWnd::SetGameWindowFactory(nullptr);
        ClearWorker::SetPauseForTesting(std::chrono::milliseconds(0));
        hl::ResetModal();
        hl::ResetGameServices();
        ui::SetModuleDirForTesting("");
        fw::ClearResourceOverrides();
    }

    CMainWnd& StartLauncher() {
        launcher = std::make_unique<CMainWnd>(CMainWnd::kNormalStart);
        EXPECT_TRUE(launcher->Created());
        fw::SetMainWindow(launcher.get());
        launcher->Show(fw::ShowCmd::Show);
        return *launcher;
    }

    hl::ScriptedBrowser* LauncherPage() {
        return launcher && launcher->pageDialog() ? hl::FindBrowser(*launcher->pageDialog(), CWebDlg::kBrowserId)
                                                  : nullptr;
    }

    void CallPage(const std::string& method, const std::string& arg) {
        std::vector<hl::ScriptValue> args{fw::Utf8ToUtf16(method), fw::Utf8ToUtf16(arg)};
        LauncherPage()->CallExternal("WD_JAPI", args);
    }

    // The launcher's game window (null when none).
    CRudovGame* Game() const { return launcher ? static_cast<CRudovGame*>(launcher->gameWindow()) : nullptr; }

    // The launcher page opens a game; the launcher makes the window.
    CRudovGame& OpenFromPage(const std::string& text = "http://g.test/play|x|S1 龙焰") {
        if (!launcher) StartLauncher();
        CallPage("OpenGame", text);
        EXPECT_NE(Game(), nullptr);
        return *Game();
    }

    // A game window made directly (hidden, not known to the launcher).
    CRudovGame& MakeDirect() {
        if (!launcher) StartLauncher();
        direct = std::make_unique<CRudovGame>(*launcher);
        EXPECT_TRUE(direct->Created());
        return *direct;
    }

    static hl::ScriptedBrowser* PageOf(const CRudovGame& g) { return hl::FindBrowser(g, CRudovGame::kBrowserId); }

    testing_support::TempDir dir;
    std::unique_ptr<CMainWnd> launcher;
    std::unique_ptr<CRudovGame> direct;
};

}  // namespace game_test
