// The game window's repaint after a hover change at 1920 pixels wide (the whole window is
// composed into one picture), and DeleteTree on a cache-like tree of 20,000 files in 1,000
// folders (bench/deletetree.sh puts it beside rm -rf on the same tree).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/main_wnd.h"
#include "fw/app.h"
#include "fw/headless/desktop.h"
#include "fw/headless/services.h"
#include "game/cache_clear.h"
#include "game/rudov_game.h"
#include "ui/skin.h"

namespace {

namespace fs = std::filesystem;

struct GameFixture {
    GameFixture() {
        fw::headless::Reset();
        fw::headless::ResetGameServices();
        dir = fs::temp_directory_path() / "rv-bench-game";
        fs::create_directories(dir);
        ui::SetModuleDirForTesting(dir.string() + "/");
        launcher = std::make_unique<CMainWnd>(CMainWnd::kNormalStart);
        launcher->SetServerName("S1 龙焰");
        launcher->SetAccountBound(false);
        game = std::make_unique<CRudovGame>(*launcher);
        game->Send(fw::WM_SYSCOMMAND, fw::SC_MAXIMIZE, 0);  // 1920 x 1040
        fw::headless::AdvanceClock(300);                    // the binding animation runs
    }
    ~GameFixture() {
        game.reset();
        launcher.reset();
        ui::SetModuleDirForTesting("");
        fs::remove_all(dir);
    }
    fs::path dir;
    std::unique_ptr<CMainWnd> launcher;
    std::unique_ptr<CRudovGame> game;
};

// The mouse goes from one title-bar button to the next (two states change, the button
// rectangles are invalidated) and the window paints itself into its back buffer.
void BM_GameTitleBarRepaintAfterHover(benchmark::State& state) {
    GameFixture f;
    CRudovGame& g = *f.game;
    const int width = g.GetClientRect().Width(), height = g.GetClientRect().Height();
    if (!g.Created() || width != 1920) {
        state.SkipWithError("game window not made at 1920 wide");
        return;
    }
    fw::Bitmap back(width, height);
    const fw::Point a{g.titleBar().ButtonRect(CTitleBar::kPay).left + 10, 15},
        b{g.titleBar().ButtonRect(CTitleBar::kReturn).left + 10, 15};
    bool flip = false;
    for (auto _ : state) {
        fw::headless::MouseMove(g, flip ? a : b);
        g.PaintInto(back);
        benchmark::DoNotOptimize(back.data());
        flip = !flip;
    }
    state.counters["width"] = width;
}
BENCHMARK(BM_GameTitleBarRepaintAfterHover)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The tree a browser cache folder looks like: 10 folders of 100 folders of 20 files each,
// small files with some bytes in them.
void BuildTree(const fs::path& root) {
    const std::string bytes(512, 'c');
    for (int a = 0; a < 10; ++a) {
        for (int b = 0; b < 100; ++b) {
            const fs::path d = root / ("d" + std::to_string(a)) / ("e" + std::to_string(b));
            fs::create_directories(d);
            for (int i = 0; i < 20; ++i) {
                const std::string p = (d / ("f" + std::to_string(i))).string();
                int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
                if (fd >= 0) {
                    (void)!::write(fd, bytes.data(), bytes.size());
                    ::close(fd);
                }
            }
        }
    }
}

void BM_DeleteTree20000Files(benchmark::State& state) {
    const char* where = std::getenv("RV_BENCH_TREE_DIR");
    const fs::path root =
        fs::path(where && *where ? where : fs::temp_directory_path().string()) / "rv-bench-deletetree";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(root);
        BuildTree(root);
        ::sync();
        state.ResumeTiming();
        if (DeleteTree(root.string(), false) != 1) state.SkipWithError("DeleteTree could not list the tree");
    }
    fs::remove_all(root);
    state.counters["files"] = 20000;
    state.counters["folders"] = 1000;
}
BENCHMARK(BM_DeleteTree20000Files)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
