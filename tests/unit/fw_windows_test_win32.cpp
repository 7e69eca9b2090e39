// The framework's platform services on Windows where they differ from the other systems:
// the narrow character set is the ANSI code page, the Chinese face names find a font through
// their aliases, and text is drawn by GDI+ into the canvas's own premultiplied pixels.
#include "fw/windows/windows_api.h"

#include <gtest/gtest.h>

#include "fw/canvas.h"
#include "fw/image.h"
#include "fw/text.h"
#include "fw/windows/gdiplus.h"

namespace {

TEST(FwTextWin32, SystemIsTheAnsiCodePage) {
    switch (GetACP()) {
    case 1252:  // Western: é is 0xE9, 中 is not there (every byte is some character)
        EXPECT_EQ(fw::Utf8ToSystem("a\xC3\xA9\xE4\xB8\xAD"), "a\xE9?");
        EXPECT_EQ(fw::SystemToUtf8("a\xE9\x80"), "a\xC3\xA9\xE2\x82\xAC");
        break;
    case 936:  // simplified Chinese: the same as code page 936
        EXPECT_EQ(fw::Utf8ToSystem("a\xE4\xB8\xAD\xF0\x9F\x98\x80"), "a\xD6\xD0?");
        EXPECT_EQ(fw::SystemToUtf8("a\xD6\xD0\xFF"), "a\xE4\xB8\xAD?");
        break;
    case CP_UTF8:
        EXPECT_EQ(fw::Utf8ToSystem("a\xE4\xB8\xAD\xFF"), "a\xE4\xB8\xAD\xEF\xBF\xBD");
        EXPECT_EQ(fw::SystemToUtf8("a\xE4\xB8\xAD"), "a\xE4\xB8\xAD");
        break;
    default: GTEST_SKIP() << "no cases for ANSI code page " << GetACP();
    }
    EXPECT_EQ(fw::Utf8ToSystem("plain ASCII"), "plain ASCII");
}

TEST(FwFontsWin32, ChineseFaceNamesFindTheirFonts) {
    EXPECT_FALSE(fw::windows::ResolveFontFamily("NoSuchFace123").has_value());
    EXPECT_FALSE(fw::windows::ResolveFontFamily("").has_value());
    EXPECT_FALSE(fw::windows::ResolveFontFamily(std::string("Arial\0x", 7)).has_value());
    const bool song = fw::windows::ResolveFontFamily("SimSun").has_value() ||
                      fw::windows::ResolveFontFamily("Noto Serif CJK SC").has_value();
    if (!song) GTEST_SKIP() << "no Song face and no Noto Serif CJK on this system";
    // Every name of the face, in either language and any letter case, finds the same family.
    const auto family = fw::windows::ResolveFontFamily("宋体");
    ASSERT_TRUE(family.has_value());
    EXPECT_EQ(fw::windows::ResolveFontFamily("simsun"), family);
    EXPECT_TRUE(fw::windows::ResolveFontFamily("NSimSun").has_value());
    EXPECT_TRUE((fw::Font{"新宋体", 12, false}.Exists()));
    if (fw::windows::ResolveFontFamily("Microsoft YaHei") || fw::windows::ResolveFontFamily("Noto Sans CJK SC")) {
        EXPECT_TRUE((fw::Font{"微软雅黑", 12, true}.Exists()));
    }
}

// Pixels a premultiplied bitmap may hold: no channel above its alpha.
bool Premultiplied(const fw::Bitmap& b) {
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const std::uint32_t p = b.At(x, y), a = p >> 24;
            if (((p >> 16) & 0xFF) > a || ((p >> 8) & 0xFF) > a || (p & 0xFF) > a) return false;
        }
    return true;
}

TEST(FwTextRenderWin32, GdiplusDrawsIntoTheCanvasPixels) {
    fw::Bitmap bmp(120, 40);
    fw::Canvas c(bmp);
    c.FillRect({0, 0, 120, 40}, 0x80102030u);  // half-transparent ground
    const fw::Bitmap before = [&] {
        fw::Bitmap copy;
        copy.CopyFrom(bmp);
        return copy;
    }();
    c.SetClip({0, 0, 60, 40});
    c.DrawText("\xE4\xB8\xAD\xE6\x96\x87 Hx", fw::Font{"宋体", 20, true}, 0xFFFFFFFFu, fw::Point{4, 6},
               fw::TextHint::ClearTypeGridFit);
    int changedInside = 0, changedOutside = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            if (bmp.At(x, y) != before.At(x, y)) ++(x < 60 ? changedInside : changedOutside);
    EXPECT_GT(changedInside, 30) << "the glyphs are drawn";
    EXPECT_EQ(changedOutside, 0) << "nothing outside the clip";
    EXPECT_TRUE(Premultiplied(bmp));
    // White text over the ground: the brightest pixel is opaque white where a stroke is full.
    std::uint32_t brightest = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) brightest = std::max(brightest, bmp.At(x, y) & 0xFFu);
    EXPECT_GT(brightest, 0xC0u);
}

}  // namespace
