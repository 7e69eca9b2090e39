#pragma once
// What the game window's tests share: a launcher on the headless desktop with the game
// window registered, the launcher page's script calls, and helpers to wait for clearing
// workers and to read the title bar's pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

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

// A hidden game window goes on handling its messages and its mouse (while an animation waits
// for it to be shown).
inline void ExpectHandlingMessages(CRudovGame& g) {
    g.Post(WM_PAY_CLOSED);
    EXPECT_GE(hl::Pump(), 1);
    hl::MouseMove(g, Inside(g.m_rcPay));
    EXPECT_EQ(g.m_nState[CRudovGame::kPay], 1);
}

class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        hl::ResetGameServices();
        hl::ResetModal();
        fw::ClearResourceOverrides();
        ui::SetModuleDirForTesting(dir.dir());
        testing_support::WriteFile(dir.file("static.ini"),
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
        EXPECT_EQ(g_pGameWnd, nullptr);
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
        return launcher && launcher->pageDialog() ? hl::FindBrowser(*launcher->pageDialog(), CWebDlg::kBrowserId) : nullptr;
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
