// The launcher's redraw after a hover change (compose the 1290x704 picture and hand it to
// the window), and a mouse move that changes nothing, on the headless desktop.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "app/main_wnd.h"
#include "fw/headless/desktop.h"
#include "shared/launcher_layout.h"
#include "ui/skin.h"

namespace {

namespace layout = shared::launcher_layout;

fw::Point Centre(const fw::Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

struct LauncherFixture {
    LauncherFixture() {
        fw::headless::Reset();
        dir = std::filesystem::temp_directory_path() / "rv-bench-launcher";
        std::filesystem::create_directories(dir);
        ui::SetModuleDirForTesting(dir.string() + "/");
        wnd = std::make_unique<CMainWnd>(CMainWnd::kNormalStart);
        wnd->Show(fw::ShowCmd::Show);
    }
    ~LauncherFixture() {
        wnd.reset();
        ui::SetModuleDirForTesting("");
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::unique_ptr<CMainWnd> wnd;
};

void BM_LauncherHoverRedraw(benchmark::State& state) {
    LauncherFixture f;
    if (!f.wnd->Created()) {
        state.SkipWithError("launcher not created");
        return;
    }
    const fw::Point official = Centre(layout::ButtonRect(layout::kOfficial));
    const fw::Point pay = Centre(layout::ButtonRect(layout::kPay));
    bool flip = false;
    for (auto _ : state) {
        // Alternate between two link buttons: every move changes two states and redraws.
        fw::headless::MouseMove(*f.wnd, flip ? official : pay);
        flip = !flip;
    }
    state.counters["draws"] = f.wnd->drawCount();
}
BENCHMARK(BM_LauncherHoverRedraw)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_LauncherMoveWithoutChange(benchmark::State& state) {
    LauncherFixture f;
    if (!f.wnd->Created()) {
        state.SkipWithError("launcher not created");
        return;
    }
    fw::headless::MouseMove(*f.wnd, {700, 650});
    int x = 0;
    for (auto _ : state) {
        fw::headless::MouseMove(*f.wnd, {700 + (x++ & 15), 650});
    }
    state.counters["draws"] = f.wnd->drawCount();
}
BENCHMARK(BM_LauncherMoveWithoutChange)->Unit(benchmark::kMicrosecond);

}  // namespace
