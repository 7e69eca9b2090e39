// Canvas: compositing, clipping, slices of strips, scaling, copies and text.
#include <cstdlib>

#include <gtest/gtest.h>

#include "fw/canvas.h"

// Fontconfig and Pango keep caches (parsed configuration, matched font sets) for the life
// of the process and drop the last pointers to some of them; LeakSanitizer reports those
// as leaks of the libraries, not of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libpango-1.0.so\n"
           "leak:libpangoft2-1.0.so\n"
           "leak:libpangocairo-1.0.so\n";
}

namespace {

constexpr std::uint32_t kBlue = 0xFF0000FFu;
constexpr std::uint32_t kRed = 0xFFFF0000u;

// An image whose every pixel is distinct and opaque: 0xFF00xxyy.
std::unique_ptr<fw::Image> Numbered(int w, int h) {
    std::vector<std::uint32_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px.push_back(0xFF000000u | static_cast<std::uint32_t>(x << 8 | y));
    return fw::Image::FromPixels(w, h, px);
}

std::unique_ptr<fw::Image> Solid(int w, int h, std::uint32_t premultiplied) {
    return fw::Image::FromPixels(w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, premultiplied));
}

int Channel(std::uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xFF); }

TEST(FwCanvas, SourceOverOnPremultipliedPixels) {
    fw::Bitmap bmp(3, 1);
    fw::Canvas c(bmp);
    c.Clear(kBlue);
    auto img = fw::Image::FromPixels(3, 1, {kRed, 0x80800000u /* 50% red */, 0});
    c.DrawImage(img.get(), {0, 0, 3, 1}, {0, 0, 3, 1});
    EXPECT_EQ(bmp.At(0, 0), kRed);
    EXPECT_EQ(bmp.At(1, 0), 0xFF80007Fu);  // red 128 + blue 255 * 127 / 255
    EXPECT_EQ(bmp.At(2, 0), kBlue);        // a clear source pixel changes nothing

    // Over a half-transparent pixel, and over nothing at all.
    fw::Bitmap two(2, 1);
    two.data()[0] = 0x80000080u;
    fw::Canvas c2(two);
    auto half = Solid(2, 1, 0x80800000u);
    c2.DrawImage(half.get(), {0, 0, 2, 1}, {0, 0, 2, 1});
    EXPECT_EQ(two.At(0, 0), 0xC0800040u);  // alpha 128 + 128 * 127 / 255 = 192
    EXPECT_EQ(two.At(1, 0), 0x80800000u);  // a transparent destination takes the source as is
}

TEST(FwCanvas, WideRowsBlendLikeSinglePixels) {
    // Rows are composed several pixels at a time; every pixel must come out as when it is
    // drawn on its own. Mixed runs: opaque, clear, translucent, over varied destinations.
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    auto randomPremultiplied = [&] {
        const std::uint32_t kind = next() >> 28;
        const std::uint32_t a = kind < 4 ? 255 : kind < 7 ? 0 : (next() >> 24);
        return fw::Premultiply((a << 24) | (next() >> 8));
    };
    const int n = 4001;
    std::vector<std::uint32_t> src(n), dst(n);
    for (int i = 0; i < n; ++i) {
        src[i] = randomPremultiplied();
        dst[i] = i % 5 == 0 ? 0 : randomPremultiplied();
    }
    for (int i = 8; i < 16; ++i) src[i] = 0xFF102030u;  // a long opaque run
    auto img = fw::Image::FromPixels(n, 1, src);
    fw::Bitmap row(n, 1);
    std::copy(dst.begin(), dst.end(), row.data());
    fw::Canvas(row).DrawImage(img.get(), {0, 0, n, 1}, {0, 0, n, 1});
    for (int i = 0; i < n; ++i) {
        fw::Bitmap one(1, 1);
        one.data()[0] = dst[i];
        auto px = fw::Image::FromPixels(1, 1, {src[i]});
        fw::Canvas(one).DrawImage(px.get(), {0, 0, 1, 1}, {0, 0, 1, 1});
        ASSERT_EQ(row.At(i, 0), one.At(0, 0)) << "pixel " << i << " src " << std::hex << src[i] << " dst " << dst[i];
    }
    // And the exact value for a known case in a four-pixel group.
    fw::Bitmap four(4, 1);
    fw::Canvas(four).Clear(kBlue);
    fw::Canvas(four).DrawImage(Solid(4, 1, 0x80800000u).get(), {0, 0, 4, 1}, {0, 0, 4, 1});
    EXPECT_EQ(four.At(3, 0), 0xFF80007Fu);
}

TEST(FwCanvas, ClearAndFillTakeStraightColours) {
    fw::Bitmap bmp(4, 4);
    fw::Canvas c(bmp);
    c.Clear(0x80FF0000u);
    EXPECT_EQ(bmp.At(3, 3), 0x80800000u);
    c.Clear(0xFFFFFFFFu);
    c.FillRect({1, 1, 3, 3}, 0x80000000u);  // 50% black over white
    EXPECT_EQ(bmp.At(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(bmp.At(1, 1), 0xFF7F7F7Fu);
    EXPECT_EQ(bmp.At(3, 3), 0xFFFFFFFFu);
    c.FillRect({-10, -10, 100, 1}, kRed);  // clipped to the bitmap
    EXPECT_EQ(bmp.At(3, 0), kRed);
    EXPECT_EQ(bmp.At(3, 1), 0xFFFFFFFFu);
}

TEST(FwCanvas, DrawingIsClippedToTargetAndClipRect) {
    auto img = Numbered(4, 4);
    fw::Bitmap bmp(4, 4);
    fw::Canvas c(bmp);
    c.DrawImage(img.get(), {-2, -3, 2, 1}, {0, 0, 4, 4});  // 1:1 at a negative position
    EXPECT_EQ(bmp.At(0, 0), img->At(2, 3));
    EXPECT_EQ(bmp.At(1, 0), img->At(3, 3));
    EXPECT_EQ(bmp.At(2, 0), 0u);
    EXPECT_EQ(bmp.At(0, 1), 0u);

    fw::Bitmap clipped(4, 4);
    fw::Canvas cc(clipped);
    cc.SetClip({1, 1, 3, 2});
    cc.DrawImage(img.get(), {0, 0, 4, 4}, {0, 0, 4, 4});
    cc.FillRect({0, 3, 4, 4}, kRed);  // wholly outside the clip
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(clipped.At(x, y), (y == 1 && (x == 1 || x == 2)) ? img->At(x, y) : 0u) << x << "," << y;
    cc.ResetClip();
    cc.FillRect({0, 3, 4, 4}, kRed);
    EXPECT_EQ(clipped.At(0, 3), kRed);
}

TEST(FwCanvas, SlicesOfAStrip) {
    // A vertical strip of three 2x2 slices: red, green, blue.
    std::vector<std::uint32_t> px;
    for (std::uint32_t colour : {kRed, 0xFF00FF00u, kBlue}) px.insert(px.end(), 4, colour);
    auto strip = fw::Image::FromPixels(2, 6, px);
    auto slice = [&](int n) {
        fw::Bitmap bmp(2, 2);
        fw::Canvas c(bmp);
        c.DrawImage(strip.get(), {0, 0, 2, 2}, {0, n * 2, 2, 2 + n * 2});
        return bmp;
    };
    EXPECT_EQ(slice(2).At(1, 1), kBlue);
    fw::Bitmap past = slice(3);  // past the strip: nothing
    for (int i = 0; i < 4; ++i) EXPECT_EQ(past.data()[i], 0u);

    // Partly past the end: the rows inside are drawn, the others are left alone.
    fw::Bitmap bmp(2, 2);
    fw::Canvas c(bmp);
    c.DrawImage(strip.get(), {0, 0, 2, 2}, {0, 5, 2, 7});
    EXPECT_EQ(bmp.At(0, 0), kBlue);
    EXPECT_EQ(bmp.At(0, 1), 0u);
    // A rectangle wider than the strip: the columns beyond it stay untouched.
    fw::Bitmap wide(3, 2);
    fw::Canvas cw(wide);
    cw.DrawImage(strip.get(), {0, 0, 3, 2}, {0, 0, 3, 2});
    EXPECT_EQ(wide.At(1, 1), kRed);
    EXPECT_EQ(wide.At(2, 0), 0u);
}

TEST(FwCanvas, BilinearScalingSamplesCentresAndClampsAtEdges) {
    auto img = fw::Image::FromPixels(2, 1, {0xFF000000u, 0xFFFFFFFFu});
    fw::Bitmap bmp(4, 1);
    fw::Canvas c(bmp);
    c.DrawImage(img.get(), {0, 0, 4, 1}, {0, 0, 2, 1});
    EXPECT_EQ(bmp.At(0, 0), 0xFF000000u);           // clamped at the left edge
    EXPECT_EQ(bmp.At(3, 0), 0xFFFFFFFFu);           // and at the right
    EXPECT_NEAR(Channel(bmp.At(1, 0), 8), 64, 1);   // a quarter of the way
    EXPECT_NEAR(Channel(bmp.At(2, 0), 8), 191, 1);  // three quarters
    EXPECT_EQ(bmp.At(1, 0) >> 24, 0xFFu);

    // Uniform pictures stay exact whatever the scale, up or down.
    auto half = Solid(4, 4, 0x80402010u);
    fw::Bitmap up(10, 7), down(2, 2);
    fw::Canvas(up).DrawImage(half.get(), {0, 0, 10, 7}, {0, 0, 4, 4});
    fw::Canvas(down).DrawImage(half.get(), {0, 0, 2, 2}, {0, 0, 4, 4});
    for (int i = 0; i < 70; ++i) ASSERT_EQ(up.data()[i], 0x80402010u) << i;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(down.data()[i], 0x80402010u);

    // Scaled with a source reaching past the image: that part of the destination is left.
    fw::Bitmap part(8, 2);
    fw::Canvas(part).DrawImage(Solid(2, 2, kRed).get(), {0, 0, 8, 2}, {0, 0, 4, 2});
    EXPECT_EQ(part.At(3, 1), kRed);
    EXPECT_EQ(part.At(4, 0), 0u);
    // Scaled and clipped at negative coordinates: the visible part maps as without clipping.
    fw::Bitmap neg(2, 1);
    fw::Canvas(neg).DrawImage(img.get(), {-2, 0, 2, 1}, {0, 0, 2, 1});
    EXPECT_NEAR(Channel(neg.At(0, 0), 8), 191, 1);
    EXPECT_EQ(neg.At(1, 0), 0xFFFFFFFFu);
}

TEST(FwCanvas, NothingToDrawIsHarmless) {
    fw::Bitmap bmp(2, 2);
    fw::Canvas c(bmp);
    auto invalid = fw::Image::FromPng({});
    c.DrawImage(nullptr, {0, 0, 2, 2}, {0, 0, 2, 2});
    c.DrawImage(invalid.get(), {0, 0, 2, 2}, {0, 0, 2, 2});
    c.DrawImage(Solid(2, 2, kRed).get(), {2, 0, 0, 2}, {0, 0, 2, 2});  // mirrored: nothing
    c.DrawImage(Solid(2, 2, kRed).get(), {0, 0, 2, 2}, {-5, -5, -3, -3});
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bmp.data()[i], 0u);
    fw::Bitmap empty;
    fw::Canvas ce(empty);
    ce.Clear(kRed);
    ce.DrawImage(Solid(2, 2, kRed).get(), {0, 0, 9, 9}, {0, 0, 2, 2});
    ce.DrawText("x", fw::Font{"DejaVu Sans", 12}, kRed, fw::Point{0, 0});
    EXPECT_EQ(empty.width(), 0);
}

TEST(FwCanvas, BlitCopiesWithoutBlending) {
    fw::Bitmap src(2, 2);
    fw::Canvas(src).Clear(0x80FF0000u);
    fw::Bitmap dst(3, 3);
    fw::Canvas c(dst);
    c.Clear(kBlue);
    c.Blit(src, -1, 2);
    EXPECT_EQ(dst.At(0, 2), 0x80800000u);
    EXPECT_EQ(dst.At(1, 2), kBlue);
    EXPECT_EQ(dst.At(0, 1), kBlue);
    fw::Bitmap copy;
    copy.CopyFrom(dst);
    EXPECT_EQ(copy.width(), 3);
    EXPECT_EQ(copy.At(0, 2), 0x80800000u);
}

// The box around every pixel that text changed (empty when none).
fw::Rect Ink(const fw::Bitmap& b, std::uint32_t background) {
    fw::Rect r{b.width(), b.height(), 0, 0};
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.At(x, y) != background)
                r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1), std::max(r.bottom, y + 1)};
    return r.IsEmpty() ? fw::Rect{} : r;
}

TEST(FwTextRender, FacesAndAliases) {
    EXPECT_FALSE(fw::Font{"NoSuchFace123"}.Exists());
    EXPECT_FALSE(fw::Font{""}.Exists());
    EXPECT_TRUE(fw::Font{"DejaVu Sans"}.Exists());
    ASSERT_TRUE(fw::Font{"Noto Serif CJK SC"}.Exists() && fw::Font{"Noto Sans CJK SC"}.Exists())
        << "fonts-noto-cjk is missing (scripts/setup.sh installs it)";
    EXPECT_TRUE(fw::Font{"宋体"}.Exists());
    EXPECT_TRUE(fw::Font{"微软雅黑"}.Exists());
}

TEST(FwTextRender, DrawsAtTheOriginInItsColour) {
    fw::Bitmap bmp(80, 40);
    fw::Canvas c(bmp);
    c.Clear(0xFF000000u);
    c.DrawText("Hx", fw::Font{"DejaVu Sans", 16}, 0xFFFF0000u, fw::Point{10, 8});
    const fw::Rect ink = Ink(bmp, 0xFF000000u);
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.left, 13);
    EXPECT_GE(ink.top, 8);
    EXPECT_LE(ink.bottom, 8 + 20);
    for (int y = ink.top; y < ink.bottom; ++y)
        for (int x = ink.left; x < ink.right; ++x) {
            const std::uint32_t p = bmp.At(x, y);
            EXPECT_EQ(p & 0xFF00FFFFu, 0xFF000000u) << "only red on opaque black";
        }
}

TEST(FwTextRender, LayoutRectangleWrapsAndClips) {
    fw::Bitmap bmp(120, 100);
    fw::Canvas c(bmp);
    const fw::Rect box{10, 10, 60, 40};
    c.DrawText("WWWW WWWW WWWW WWWW WWWW", fw::Font{"DejaVu Sans", 12}, 0xFFFFFFFFu, box,
               fw::TextHint::ClearTypeGridFit);
    const fw::Rect ink = Ink(bmp, 0);
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_EQ(ink.Intersect(box), ink) << "nothing outside the layout rectangle";
    EXPECT_GT(ink.Height(), 20) << "the text wrapped onto more lines";

    fw::Bitmap clip(60, 30);
    fw::Canvas cc(clip);
    cc.SetClip({0, 0, 15, 30});
    cc.DrawText("\xE4\xB8\xAD\xE6\x96\x87 \xFF text", fw::Font{"宋体", 14}, 0xFFFFFFFFu, fw::Point{2, 2});
    const fw::Rect cut = Ink(clip, 0);
    ASSERT_FALSE(cut.IsEmpty()) << "CJK text (and an invalid byte) still draw";
    EXPECT_LE(cut.right, 15);
}

}  // namespace
