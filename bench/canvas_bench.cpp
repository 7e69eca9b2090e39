// Raster speed of the canvas: the launcher's 1290x704 background 1:1, a stretched frame,
// a button sprite, and the launcher's whole composition.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "fw/canvas.h"
#include "fw/resources.h"
#include "shared/launcher_layout.h"

namespace {

namespace layout = shared::launcher_layout;

constexpr int kW = 1290;
constexpr int kH = 704;

// The launcher's background: the embedded picture when there is one, else a picture like
// it (an opaque page inside an irregular outline whose edge fades out).
std::unique_ptr<fw::Image> Background() {
    if (auto bytes = fw::FindResource(149, "PNG"); !bytes.empty()) {
        auto img = fw::Image::FromPng(bytes);
        if (img->width() == kW && img->height() == kH) return img;
    }
    std::vector<std::uint32_t> px(static_cast<std::size_t>(kW) * kH);
    for (int y = 0; y < kH; ++y) {
        const int inset = 40 + (y * 7 % 23);  // ragged left and right edges
        for (int x = 0; x < kW; ++x) {
            const int d = std::min(x - inset, kW - 1 - inset - x);
            std::uint32_t a = d < 0 ? 0 : d >= 16 ? 255 : static_cast<std::uint32_t>(d * 16);
            if (y < 30 || y >= kH - 30) a = a / 2;  // translucent bands top and bottom
            px[static_cast<std::size_t>(y) * kW + x] =
                fw::Premultiply((a << 24) | static_cast<std::uint32_t>((x * 3) & 0xFF) << 16 |
                                static_cast<std::uint32_t>(y & 0xFF) << 8 | 0x40);
        }
    }
    return fw::Image::FromPixels(kW, kH, std::move(px));
}

std::unique_ptr<fw::Image> Uniform(int w, int h, std::uint32_t straight) {
    return fw::Image::FromPixels(
        w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, fw::Premultiply(straight)));
}

// A two-row button strip with a soft round-cornered outline.
std::unique_ptr<fw::Image> Sprite(int w, int h) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int ey = y % (h / 2);
            const int edge = std::min({x, w - 1 - x, ey, h / 2 - 1 - ey});
            const std::uint32_t a = edge >= 4 ? 255 : static_cast<std::uint32_t>(edge * 60);
            px[static_cast<std::size_t>(y) * w + x] = fw::Premultiply((a << 24) | 0x00C08040u);
        }
    }
    return fw::Image::FromPixels(w, h, std::move(px));
}

void BM_Background1to1OntoEmpty(benchmark::State& state) {
    auto bg = Background();
    fw::Bitmap bmp(kW, kH);
    for (auto _ : state) {
        bmp.Resize(kW, kH);  // a fresh, transparent picture each time, as the launcher makes
        fw::Canvas(bmp).DrawImage(bg.get(), {0, 0, kW, kH}, {0, 0, kW, kH});
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_Background1to1OntoEmpty)->Unit(benchmark::kMicrosecond);

void BM_Opaque1to1(benchmark::State& state) {
    auto img = Uniform(kW, kH, 0xFF336699u);
    fw::Bitmap bmp(kW, kH);
    fw::Canvas(bmp).Clear(0xFF000000u);
    for (auto _ : state) {
        fw::Canvas(bmp).DrawImage(img.get(), {0, 0, kW, kH}, {0, 0, kW, kH});
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_Opaque1to1)->Unit(benchmark::kMicrosecond);

void BM_Alpha1to1OverOpaque(benchmark::State& state) {
    // Worst case: every pixel half transparent over an opaque picture.
    auto img = Uniform(kW, kH, 0x80336699u);
    fw::Bitmap bmp(kW, kH);
    for (auto _ : state) {
        state.PauseTiming();
        fw::Canvas(bmp).Clear(0xFF000000u);
        state.ResumeTiming();
        fw::Canvas(bmp).DrawImage(img.get(), {0, 0, kW, kH}, {0, 0, kW, kH});
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_Alpha1to1OverOpaque)->Unit(benchmark::kMicrosecond);

void BM_Scaled800x500To1920x1040(benchmark::State& state) {
    auto img = Sprite(800, 1000);  // use the top half: an 800x500 frame with soft edges
    fw::Bitmap bmp(1920, 1040);
    for (auto _ : state) {
        fw::Canvas(bmp).DrawImage(img.get(), {0, 0, 1920, 1040}, {0, 0, 800, 500});
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_Scaled800x500To1920x1040)->Unit(benchmark::kMicrosecond);

void BM_Sprite155x55(benchmark::State& state) {
    auto sprite = Sprite(155, 110);
    auto bg = Background();
    fw::Bitmap bmp(kW, kH);
    fw::Canvas(bmp).DrawImage(bg.get(), {0, 0, kW, kH}, {0, 0, kW, kH});
    for (auto _ : state) {
        fw::Canvas(bmp).DrawImage(sprite.get(), layout::ButtonRect(layout::kOfficial), {0, 55, 155, 110});
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_Sprite155x55)->Unit(benchmark::kMicrosecond);

// The launcher's picture: the background (cached once) copied, then the six buttons.
void BM_LauncherCompositionFromCache(benchmark::State& state) {
    auto bg = Background();
    auto close = Sprite(35, 102), minimise = Sprite(27, 84), link = Sprite(155, 110);
    fw::Bitmap cache(kW, kH);
    fw::Canvas(cache).DrawImage(bg.get(), {0, 0, kW, kH}, {0, 0, kW, kH});
    fw::Bitmap bmp(kW, kH);
    for (auto _ : state) {
        fw::Canvas c(bmp);
        c.Blit(cache, 0, 0);
        c.DrawImage(close.get(), layout::ButtonRect(layout::kClose), {0, 34, 35, 68});
        c.DrawImage(minimise.get(), layout::ButtonRect(layout::kMin), {0, 0, 27, 28});
        c.DrawImage(link.get(), layout::ButtonRect(layout::kOfficial), {0, 0, 155, 55});
        c.DrawImage(link.get(), layout::ButtonRect(layout::kPay), {0, 55, 155, 110});
        c.DrawImage(link.get(), layout::ButtonRect(layout::kForum), {0, 0, 155, 55});
        c.DrawImage(link.get(), layout::ButtonRect(layout::kService), {0, 0, 155, 55});
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_LauncherCompositionFromCache)->Unit(benchmark::kMicrosecond);

// The same picture built from nothing, as a redraw without a cache does.
void BM_LauncherCompositionFromScratch(benchmark::State& state) {
    auto bg = Background();
    auto close = Sprite(35, 102), minimise = Sprite(27, 84), link = Sprite(155, 110);
    for (auto _ : state) {
        fw::Bitmap bmp(kW, kH);
        fw::Canvas c(bmp);
        c.DrawImage(bg.get(), {0, 0, kW, kH}, {0, 0, kW, kH});
        c.DrawImage(close.get(), layout::ButtonRect(layout::kClose), {0, 34, 35, 68});
        c.DrawImage(minimise.get(), layout::ButtonRect(layout::kMin), {0, 0, 27, 28});
        for (auto b : {layout::kOfficial, layout::kPay, layout::kForum, layout::kService})
            c.DrawImage(link.get(), layout::ButtonRect(b), {0, 0, 155, 55});
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_LauncherCompositionFromScratch)->Unit(benchmark::kMicrosecond);

}  // namespace

// Decoding the launcher's embedded background picture (PNG, 1290x704 with alpha), as the
// launcher does once when it is made.
void BM_DecodeLauncherBackground(benchmark::State& state) {
    auto bytes = fw::FindResource(149, "PNG");
    if (bytes.empty()) {
        state.SkipWithError("no embedded background picture in this program");
        return;
    }
    for (auto _ : state) {
        auto img = fw::Image::FromPng(bytes);
        benchmark::DoNotOptimize(img.get());
    }
}
BENCHMARK(BM_DecodeLauncherBackground)->Unit(benchmark::kMillisecond);
