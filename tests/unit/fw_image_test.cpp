// PNG decoding: colour types, transparency, interlacing, and every kind of bad input.
#include <png.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "fw/image.h"

namespace {

struct PngSpec {
    int width = 0;
    int height = 0;
    int colourType = PNG_COLOR_TYPE_RGBA;
    int depth = 8;
    bool interlace = false;
    std::vector<png_color> palette;
    std::vector<png_byte> trns;  // palette alpha
    std::vector<std::vector<png_byte>> rows;
};

void Append(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

std::vector<std::uint8_t> Encode(PngSpec s) {
    std::vector<std::uint8_t> out;
    std::vector<png_bytep> rows;
    for (auto& r : s.rows) rows.push_back(r.data());
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "encoding failed";
        return {};
    }
    png_set_write_fn(png, &out, Append, nullptr);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colourType,
                 s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (!s.trns.empty()) png_set_tRNS(png, info, s.trns.data(), static_cast<int>(s.trns.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

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
        s.colourType = PNG_COLOR_TYPE_RGB;
        s.depth = 16;
        s.interlace = true;
        for (int y = 0; y < 3; ++y) {
            std::vector<png_byte> row;
            for (int x = 0; x < 3; ++x) {
                png_byte v = static_cast<png_byte>(40 * (y * 3 + x));
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
        s.colourType = PNG_COLOR_TYPE_PALETTE;
        s.palette = {{255, 0, 0}, {0, 0, 255}};
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
        if (img->valid()) EXPECT_EQ(img->At(1, 1), 0x40404040u);
        else EXPECT_EQ(img->width(), 0);
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
    auto chunk = [&](const char* type, std::vector<std::uint8_t> data) {
        auto be = [&](std::uint32_t v) {
            for (int s = 24; s >= 0; s -= 8) f.push_back(static_cast<std::uint8_t>(v >> s));
        };
        be(static_cast<std::uint32_t>(data.size()));
        std::vector<std::uint8_t> td(type, type + 4);
        td.insert(td.end(), data.begin(), data.end());
        f.insert(f.end(), td.begin(), td.end());
        be(static_cast<std::uint32_t>(crc32(0, td.data(), static_cast<uInt>(td.size()))));
    };
    std::vector<std::uint8_t> ihdr;
    for (std::uint32_t v : {w, h})
        for (int s = 24; s >= 0; s -= 8) ihdr.push_back(static_cast<std::uint8_t>(v >> s));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    chunk("IEND", {});
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
