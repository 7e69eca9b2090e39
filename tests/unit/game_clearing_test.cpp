// Cache clearing end to end on the headless desktop with a real worker thread and a real
// cache folder: the order of the steps, the messages, one clearing at a time, and game
// windows closed at every stage of a clearing.
#include <filesystem>
#include <thread>

#include "fw/threading.h"
#include "game_fixture.h"

using namespace game_test;
namespace fs = std::filesystem;

namespace {

class Clearing : public GameTest {
protected:
    // A cache folder with nested entries, read-only ones and desktop.ini files.
    fs::path MakeCache(const std::string& name = "webcache") {
        const fs::path c = dir.path() / name;
        for (const char* f : {"a/b/c/entry1", "a/b/entry2", "a/desktop.ini", "d/e/Desktop.ini", "d/e/entry3",
                              "f/entry4", "top.bin", "desktop.ini"}) {
            fs::create_directories((c / f).parent_path());
            testing_support::WriteFile((c / f).string(), "cached");
        }
        fs::permissions(c / "top.bin", fs::perms::owner_read);
        hl::SetBrowserCacheFolder(c.string());
        return c;
    }
    static std::vector<std::string> Left(const fs::path& c) {
        std::vector<std::string> out;
        for (auto& e : fs::recursive_directory_iterator(c))
            out.push_back(e.path().lexically_relative(c).generic_string());
        std::sort(out.begin(), out.end());
        return out;
    }
    static int Boxes(const std::string& text) {
        int n = 0;
        for (const auto& b : hl::MessageBoxes()) n += b.text == text;
        return n;
    }
    void PressClear(CRudovGame& g) {
        hl::MouseMove(g, Inside(Button(g, CTitleBar::kClear)));
        hl::Click(g, Inside(Button(g, CTitleBar::kClear)));
    }
};

const std::vector<std::string> kKept{"a", "a/desktop.ini", "d", "d/e", "d/e/Desktop.ini", "desktop.ini"};

}  // namespace

TEST_F(Clearing, WorkerEmptiesTheCacheAndSaysSo) {
    const fs::path cache = MakeCache();
    CRudovGame& g = OpenFromPage();
    PressClear(g);
    EXPECT_EQ(ClearingLook(g), 0);  // the clearing picture, no longer hovered
    EXPECT_EQ(hl::BrowserDataClears(), 1);
    // Pressed again while it runs: nothing new.
    PressClear(g);
    g.StartClearing();
    EXPECT_EQ(hl::BrowserDataClears(), 1);

    ASSERT_TRUE(PumpUntil([&] { return Boxes("清除缓存成功") == 1; }));
    EXPECT_FALSE(ShowsClearing(g));
    EXPECT_EQ(hl::TrimAllCalls(), 1);
    EXPECT_EQ(Left(cache), kKept);
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    const hl::MessageBoxCall& box = hl::MessageBoxes()[0];
    EXPECT_EQ(box.owner, fw::kNoWindow);
    EXPECT_EQ(box.caption, "清除提示");
    EXPECT_EQ(box.flags, fw::MB_OK);

    // Another clearing later works the same way.
    testing_support::WriteFile((cache / "new.bin").string(), "x");
    PressClear(g);
    ASSERT_TRUE(PumpUntil([&] { return Boxes("清除缓存成功") == 2; }));
    EXPECT_EQ(Left(cache), kKept);
    EXPECT_EQ(hl::BrowserDataClears(), 2);
}

TEST_F(Clearing, WorkerStartsOnlyAfterTheEngineHasClearedItsData) {
    const fs::path cache = MakeCache();
    hl::SetBrowserDataClearDeferred(true);
    CRudovGame& g = OpenFromPage();
    g.StartClearing();
    EXPECT_EQ(hl::PendingBrowserDataClears(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    hl::Pump();
    EXPECT_EQ(ClearWorker::Running(), 0);
    EXPECT_EQ(hl::TrimAllCalls(), 0);
    EXPECT_TRUE(fs::exists(cache / "f" / "entry4"));
    EXPECT_TRUE(ShowsClearing(g));

    EXPECT_EQ(hl::FinishBrowserDataClears(), 1);
    ASSERT_TRUE(PumpUntil([&] { return Boxes("清除缓存成功") == 1; }));
    EXPECT_EQ(hl::TrimAllCalls(), 1);
    EXPECT_EQ(Left(cache), kKept);
    EXPECT_EQ(Boxes("清除缓存成功"), 1);
}

// Where the URL cache may be emptied off the UI thread (Windows), the press only starts the
// worker, which does every step in the designed order: trim, URL cache, cache folder, pause,
// report.
TEST_F(Clearing, WhereTheUrlCacheClearsOnAnyThreadTheWorkerDoesItBetweenTrimAndFolder) {
    const fs::path cache = MakeCache();
    hl::SetBrowserDataClearsOnAnyThread(true);
    const std::thread::id ui = std::this_thread::get_id();
    std::thread::id clearedOn;
    int trimsBefore = -1;
    bool folderStillFull = false;
    hl::OnBrowserDataClear([&] {
        clearedOn = std::this_thread::get_id();
        trimsBefore = hl::TrimAllCalls();
        folderStillFull = fs::exists(cache / "f" / "entry4");
    });
    CRudovGame& g = OpenFromPage();
    PressClear(g);
    EXPECT_TRUE(ShowsClearing(g));
    ASSERT_TRUE(PumpUntil([&] { return Boxes("清除缓存成功") == 1; }));
    EXPECT_FALSE(ShowsClearing(g));
    EXPECT_EQ(hl::BrowserDataClears(), 1);
    EXPECT_NE(clearedOn, ui);
    EXPECT_EQ(trimsBefore, 1);     // after the trim
    EXPECT_TRUE(folderStillFull);  // before the folder
    EXPECT_EQ(Left(cache), kKept);
    EXPECT_EQ(hl::TrimAllCalls(), 1);
}

TEST_F(Clearing, WorkerReportsAFailedTrimAndStillFinishes) {
    hl::SetTrimAllFails(true);
    CRudovGame& g = OpenFromPage();
    g.StartClearing();  // and the engine keeps no disk cache here
    ASSERT_TRUE(PumpUntil([&] { return Boxes("清除缓存成功") == 1; }));
    EXPECT_EQ(hl::TrimAllCalls(), 1);
    ASSERT_EQ(hl::MessageBoxes().size(), 2u);
    EXPECT_EQ(hl::MessageBoxes()[0].text, "清除失败");
    EXPECT_EQ(hl::MessageBoxes()[0].owner, fw::kNoWindow);
    EXPECT_EQ(hl::MessageBoxes()[1].text, "清除缓存成功");
}

TEST_F(Clearing, WorkerPausesASecondBeforeItReports) {
    ClearWorker::SetPauseForTesting(std::chrono::milliseconds(0));  // the real pause
    MakeCache();
    CRudovGame& g = OpenFromPage();
    const auto start = std::chrono::steady_clock::now();
    g.StartClearing();
    ASSERT_TRUE(PumpUntil([&] { return Boxes("清除缓存成功") == 1; }));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(990));
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(Clearing, ANewWorkerMayStartWhileTheSuccessMessageIsUp) {
    MakeCache();
    CRudovGame& g = OpenFromPage();
    int clearingDuringBox = -1;
    hl::OnMessageBox([&](const hl::MessageBoxCall& call) {
        if (call.text != "清除缓存成功" || clearingDuringBox != -1) return;
        clearingDuringBox = ShowsClearing(g) ? 1 : 0;
        g.StartClearing();
    });
    g.StartClearing();
    ASSERT_TRUE(PumpUntil([&] { return Boxes("清除缓存成功") == 2; }));
    EXPECT_EQ(clearingDuringBox, 0);
    EXPECT_EQ(hl::BrowserDataClears(), 2);
    EXPECT_FALSE(ShowsClearing(g));
}

// Closing the game window at every stage of a clearing: before the engine answered, while
// the worker trims and deletes, and during its final pause. The close never waits for the
// worker, nothing reaches the closed window, and the launcher comes back each time.
TEST_F(Clearing, ClosingTheWindowMidClearingLeavesTheWorkerHarmless) {
    ClearWorker::SetPauseForTesting(std::chrono::milliseconds(2000));
    CMainWnd& l = StartLauncher();
    LauncherPage()->CompleteLoad();
    std::chrono::steady_clock::duration slowestClose{};
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const fs::path cache = MakeCache("cache" + std::to_string(round));
        const int stage = round % 3;
        hl::SetBrowserDataClearDeferred(stage == 0);
        CRudovGame* g = &OpenFromPage();
        g->StartClearing();
        if (stage == 2) std::this_thread::sleep_for(std::chrono::milliseconds(round % 7 * 10 + 5));

        const auto t0 = std::chrono::steady_clock::now();
        if (round % 2) {
            hl::KeyDown(*g, fw::VK_F4, true);
        } else {
            hl::QueueMessageBoxAnswer(fw::IDOK);
            g->ConfirmExit();
        }
        hl::Pump();
        slowestClose = std::max(slowestClose, std::chrono::steady_clock::now() - t0);
        ASSERT_EQ(l.gameWindow(), nullptr);
        EXPECT_TRUE(hl::Info(l).visible);
        // The engine's late answer finds no window: no worker starts. (Workers of earlier
        // rounds may still be finishing where deleting files is slow, as under Wine or on a
        // loaded machine: only a worker started now would count.)
        if (stage == 0) {
            const int running = ClearWorker::Running();
            EXPECT_EQ(hl::FinishBrowserDataClears(), 1);
            EXPECT_LE(ClearWorker::Running(), running);
        }
    }
    EXPECT_TRUE(WaitForClearWorkers());
    hl::Pump();
    EXPECT_EQ(Boxes("清除缓存成功"), 0);
    EXPECT_LT(slowestClose, std::chrono::milliseconds(1000));  // never the worker's pause
}

// A game window deleted outright while its worker sleeps in its final pause.
TEST_F(Clearing, DeletingTheWindowDuringTheWorkersPauseWakesIt) {
    ClearWorker::SetPauseForTesting(std::chrono::milliseconds(5000));
    MakeCache();
    CRudovGame& g = MakeDirect();
    g.StartClearing();
    ASSERT_TRUE(PumpUntil([] { return hl::TrimAllCalls() == 1; }));
    const auto t0 = std::chrono::steady_clock::now();
    direct.reset();
    EXPECT_EQ(ClearWorker::Running(), 0);  // joined by then
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_EQ(Boxes("清除缓存成功"), 0);
}

// A window that closes while its worker is inside a long step (here the URL cache, which the
// worker empties on Windows) waits for it only a short bound; the worker finishes the step on
// its own and ends without a word to anyone.
TEST_F(Clearing, ClosingTheWindowDuringALongStepWaitsOnlyABound) {
    hl::SetBrowserDataClearsOnAnyThread(true);
    fw::Event inStep, release;
    hl::OnBrowserDataClear([&] {
        inStep.Set();
        release.WaitFor(std::chrono::seconds(3));  // the step: 3 s unless released sooner
    });
    MakeCache();
    CRudovGame& g = MakeDirect();
    g.StartClearing();
    ASSERT_TRUE(inStep.WaitFor(std::chrono::seconds(10)));
    const auto t0 = std::chrono::steady_clock::now();
    direct.reset();
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, ClearWorker::kCloseWait);
    EXPECT_LT(took, ClearWorker::kCloseWait + std::chrono::milliseconds(900));
    EXPECT_EQ(ClearWorker::Running(), 1);
    release.Set();
    EXPECT_TRUE(WaitForClearWorkers());
    hl::Pump();
    EXPECT_TRUE(hl::MessageBoxes().empty());
}
