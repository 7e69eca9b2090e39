// PNG decoding: colour types, transparency, interlacing, and every kind of bad input.
#include <chrono>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "fw/image.h"
#include "png_writer.h"

namespace {

using testing_support::PngSpec;

constexpr int kRgb = 2;
constexpr int kPalette = 3;

std::vector<std::uint8_t> Encode(const PngSpec& s) { return testing_support::EncodePng(s); }

std::unique_ptr<fw::Image> Decode(const std::vector<std::uint8_t>& bytes) {
    return fw::Image::FromPng(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
}

// A 2x2 RGBA picture: opaque red, half-transparent green, clear, 25% white.
std::vector<std::uint8_t> SmallRgba() {
    PngSpec s;
    s.width = 2;
    s.height = 2;
    s.rows = {{255, 0, 0, 255, 0, 255, 0, 128}, {10, 20, 30, 0, 255, 255, 255, 64}};
    return Encode(s);
}

TEST(FwPng, RgbaIsPremultiplied) {
    auto img = Decode(SmallRgba());
    ASSERT_TRUE(img->valid());
    EXPECT_EQ(img->width(), 2);
    EXPECT_EQ(img->height(), 2);
    EXPECT_EQ(img->At(0, 0), 0xFFFF0000u);
    EXPECT_EQ(img->At(1, 0), 0x80008000u);  // 255 * 128 / 255 = 128
    EXPECT_EQ(img->At(0, 1), 0x00000000u);  // clear pixels carry no colour
    EXPECT_EQ(img->At(1, 1), 0x40404040u);
}

TEST(FwPng, OtherColourTypesBecomeArgb) {
    {  // 16-bit RGB, interlaced
        PngSpec s;
        s.width = 3;
        s.height = 3;
        s.colourType = kRgb;
        s.depth = 16;
        s.interlace = true;
        for (int y = 0; y < 3; ++y) {
            std::vector<std::uint8_t> row;
            for (int x = 0; x < 3; ++x) {
                auto v = static_cast<std::uint8_t>(40 * (y * 3 + x));
                for (int c = 0; c < 3; ++c) row.insert(row.end(), {v, v});
            }
            s.rows.push_back(row);
        }
        auto img = Decode(Encode(s));
        ASSERT_TRUE(img->valid());
        EXPECT_EQ(img->At(2, 2), 0xFF404040u);  // 320 wraps to 64 per byte
        EXPECT_EQ(img->At(1, 0), 0xFF282828u);
    }
    {  // palette with per-entry alpha
        PngSpec s;
        s.width = 2;
        s.height = 1;
        s.colourType = kPalette;
        s.palette = {255, 0, 0, 0, 0, 255};
        s.trns = {255, 0};
        s.rows = {{0, 1}};
        auto img = Decode(Encode(s));
        ASSERT_TRUE(img->valid());
        EXPECT_EQ(img->At(0, 0), 0xFFFF0000u);
        EXPECT_EQ(img->At(1, 0), 0u);
    }
}

TEST(FwPng, BadInputGivesAnInvalidImage) {
    const std::vector<std::uint8_t> good = SmallRgba();
    ASSERT_TRUE(Decode(good)->valid());

    EXPECT_FALSE(Decode({})->valid());
    EXPECT_FALSE(fw::Image::FromPng({})->valid());
    EXPECT_FALSE(Decode({0x89, 'P', 'N', 'G'})->valid());
    std::vector<std::uint8_t> garbage(500);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
    EXPECT_FALSE(Decode(garbage)->valid());

    // Every truncation of a good file fails cleanly (or, cut after the pixels, still decodes).
    for (std::size_t n = 0; n < good.size(); ++n) {
        auto img = Decode(std::vector<std::uint8_t>(good.begin(), good.begin() + n));
        if (img->valid())
            EXPECT_EQ(img->At(1, 1), 0x40404040u);
        else
            EXPECT_EQ(img->width(), 0);
    }
    // A flipped bit in the image data breaks its checksum.
    std::vector<std::uint8_t> bad = good;
    bad[good.size() - 20] ^= 0x10;
    EXPECT_FALSE(Decode(bad)->valid());
    // A good header followed by garbage.
    std::vector<std::uint8_t> tail(good.begin(), good.begin() + 33);
    tail.insert(tail.end(), garbage.begin(), garbage.end());
    EXPECT_FALSE(Decode(tail)->valid());
}

// A file with only a header chunk claiming the given size and a tiny data chunk.
std::vector<std::uint8_t> HeaderOnly(std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> f = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    for (std::uint32_t v : {w, h})
        for (int s = 24; s >= 0; s -= 8) ihdr.push_back(static_cast<std::uint8_t>(v >> s));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    testing_support::AppendPngChunk(f, "IHDR", ihdr);
    testing_support::AppendPngChunk(f, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    testing_support::AppendPngChunk(f, "IEND", {});
    return f;
}

TEST(FwPng, AbsurdSizesAreRefusedWithoutWork) {
    EXPECT_FALSE(Decode(HeaderOnly(20000, 1))->valid());
    EXPECT_FALSE(Decode(HeaderOnly(1, 20000))->valid());
    EXPECT_FALSE(Decode(HeaderOnly(0, 5))->valid());
    // Within the limits but far more pixels than the file could hold: refused at once
    // instead of allocating a gigabyte.
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(Decode(HeaderOnly(16384, 16384))->valid());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
}

TEST(FwImage, FromPixelsChecksItsSize) {
    EXPECT_TRUE(fw::Image::FromPixels(2, 1, {1, 2})->valid());
    EXPECT_FALSE(fw::Image::FromPixels(2, 2, {1, 2})->valid());
    EXPECT_FALSE(fw::Image::FromPixels(-1, -1, {1})->valid());
}

TEST(FwImage, PremultiplyRoundsAndUnpremultiplyInverts) {
    EXPECT_EQ(fw::Premultiply(0x80FF8000u), 0x80804000u);
    EXPECT_EQ(fw::Premultiply(0x00FFFFFFu), 0u);
    EXPECT_EQ(fw::Premultiply(0x01FFFFFFu), 0x01010101u);
    EXPECT_EQ(fw::Unpremultiply(0x80804000u), 0x80FF8000u);
    EXPECT_EQ(fw::Unpremultiply(0u), 0u);
    EXPECT_EQ(fw::Unpremultiply(0x40FF0000u), 0x40FF0000u);  // colour above alpha: clamped
}

}  // namespace
