// The skin toolkit: resources, slices of strips, and the skin-button mouse pattern.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "shared/resource.h"
#include "fw/resources.h"
#include "ui/skin.h"

namespace {

// A 2x6 vertical strip whose pixel rows are coloured by row index (opaque).
std::unique_ptr<fw::Image> RowStrip() {
    std::vector<std::uint32_t> px;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 2; ++x) px.push_back(0xFF000000u | static_cast<std::uint32_t>(y + 1));
    return fw::Image::FromPixels(2, 6, px);
}

}  // namespace

TEST(Skin, EveryPictureOfTheTableHasItsSize) {
    struct Entry {
        int id, w, h;
    } table[] = {
        {131, 155, 110}, {132, 355, 169}, {133, 155, 110}, {134, 75, 44}, {135, 75, 44},    {136, 75, 25},
        {137, 11, 33},   {138, 35, 102},  {139, 155, 110}, {140, 65, 44}, {142, 136, 198},  {143, 800, 500},
        {144, 39, 47},   {145, 818, 47},  {146, 40, 60},   {147, 48, 29}, {149, 1290, 704}, {150, 75, 25},
        {151, 75, 25},   {152, 27, 84},   {153, 155, 110}, {154, 65, 44}, {155, 75, 44},    {156, 60, 42},
        {157, 75, 25},   {158, 128, 16},  {159, 75, 22},   {160, 75, 22},
    };
    for (auto& e : table) {
        std::unique_ptr<fw::Image> img;
        ASSERT_TRUE(ui::LoadSkinImage(e.id, img)) << e.id;
        ASSERT_TRUE(img->valid()) << e.id;
        EXPECT_EQ(img->width(), e.w) << e.id;
        EXPECT_EQ(img->height(), e.h) << e.id;
    }
    // 141 is no picture; 148 is the icon.
    std::unique_ptr<fw::Image> none;
    EXPECT_FALSE(ui::LoadSkinImage(141, none));
    EXPECT_EQ(none, nullptr);
    EXPECT_FALSE(fw::FindResource(shared::IDI_APP, "ICON").empty());
}

TEST(Skin, MissingAndCorruptResources) {
    std::unique_ptr<fw::Image> img = fw::Image::FromPixels(1, 1, {0xFFFFFFFF});
    fw::Image* before = img.get();
    EXPECT_FALSE(ui::LoadSkinImage(9999, img));
    EXPECT_EQ(img.get(), before);  // left as it was

    static const std::uint8_t junk[] = {0x89, 'P', 'N', 'G', 0, 1, 2};
    fw::OverrideResource(shared::IDB_GAME_LOGO, "PNG", junk, true);
    EXPECT_TRUE(ui::LoadSkinImage(shared::IDB_GAME_LOGO, img));  // an object, drawing nothing
    ASSERT_NE(img, nullptr);
    EXPECT_FALSE(img->valid());
    fw::Bitmap b(4, 4);
    fw::Canvas c(b);
    ui::DrawImageStretched(img.get(), c, 0, 0, 4, 4);
    ui::DrawImageStretched(nullptr, c, 0, 0, 4, 4);
    ui::DrawSlice(c, nullptr, {0, 0, 4, 4}, 0, ui::Strip::Vertical);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(b.At(x, y), 0u);
    fw::ClearResourceOverrides();
}

TEST(Skin, SliceBandFollowsTheRectangleNotTheStrip) {
    auto strip = RowStrip();
    fw::Bitmap b(2, 3);
    fw::Canvas c(b);
    // A 2-row rectangle at state 1 shows rows 2 and 3 of the strip, unscaled.
    ui::DrawSlice(c, strip.get(), {0, 0, 2, 2}, 1, ui::Strip::Vertical);
    EXPECT_EQ(b.At(0, 0), 0xFF000003u);
    EXPECT_EQ(b.At(1, 1), 0xFF000004u);
    EXPECT_EQ(b.At(0, 2), 0u);
    // A slice below the strip draws nothing.
    fw::Bitmap e(2, 2);
    fw::Canvas ce(e);
    ui::DrawSlice(ce, strip.get(), {0, 0, 2, 2}, 3, ui::Strip::Vertical);
    EXPECT_EQ(e.At(0, 0), 0u);
    // Horizontal strips step by the rectangle's width.
    auto wide = fw::Image::FromPixels(4, 1, {0xFF000001u, 0xFF000002u, 0xFF000003u, 0xFF000004u});
    fw::Bitmap h(2, 1);
    fw::Canvas ch(h);
    ui::DrawSlice(ch, wide.get(), {0, 0, 2, 1}, 1, ui::Strip::Horizontal);
    EXPECT_EQ(h.At(0, 0), 0xFF000003u);
    EXPECT_EQ(h.At(1, 0), 0xFF000004u);
}

TEST(Skin, ButtonHoverHandsOverInOneMove) {
    ui::SkinButton close, confirm;
    close.rect = {344, 0, 355, 11};
    confirm.rect = {239, 73, 299, 94};
    std::vector<ui::SkinButton*> buttons{&close, &confirm};

    auto dirty = ui::SkinButtonsMouseMove(buttons, {350, 5});
    EXPECT_EQ(close.state, 1);
    EXPECT_EQ(dirty.size(), 1u);
    EXPECT_TRUE(ui::SkinButtonsMouseMove(buttons, {351, 6}).empty());  // already hovered

    dirty = ui::SkinButtonsMouseMove(buttons, {250, 80});
    EXPECT_EQ(close.state, 0);
    EXPECT_EQ(confirm.state, 1);
    EXPECT_EQ(dirty.size(), 2u);  // both repaint in the same move

    confirm.state = 2;  // pressed: moving inside keeps it
    EXPECT_TRUE(ui::SkinButtonsMouseMove(buttons, {260, 80}).empty());
    EXPECT_EQ(confirm.state, 2);

    dirty = ui::SkinButtonsMouseMove(buttons, {10, 10});
    EXPECT_EQ(close.state + confirm.state, 0);
    EXPECT_EQ(dirty.size(), 2u);  // every move outside repaints every button
    EXPECT_EQ(ui::SkinButtonsMouseMove(buttons, {11, 10}).size(), 2u);
    EXPECT_EQ(ui::SkinButtonAt(buttons, {299, 80}), -1);  // right edge is outside
    EXPECT_EQ(ui::SkinButtonAt(buttons, {239, 73}), 1);
}

// Pictures decoded ahead on their own thread are the same pictures, taken once each; ids that
// do not exist, repeated or already waiting are harmless, and what was not preloaded decodes
// as before. Run under ThreadSanitizer too.
TEST(Skin, PreloadThreadHandsOverTheSamePictures) {
    const std::vector<int> ids = {static_cast<int>(shared::IDB_LAUNCHER_BG), 141, 137, 137, 999999};
    ui::PreloadSkinImages(ids);
    ui::PreloadSkinImages({static_cast<int>(shared::IDB_LAUNCHER_BG), 137});  // already waiting: no second decoding

    auto same = [](const fw::Image& a, const fw::Image& b) {
        if (a.width() != b.width() || a.height() != b.height()) return false;
        const size_t n = static_cast<size_t>(a.width()) * static_cast<size_t>(a.height());
        return std::equal(a.pixels(), a.pixels() + n, b.pixels());
    };
    for (int id : {static_cast<int>(shared::IDB_LAUNCHER_BG), 137}) {
        std::unique_ptr<fw::Image> preloaded, again;
        ASSERT_TRUE(ui::LoadSkinImage(id, preloaded)) << id;  // taken from the thread
        ASSERT_TRUE(ui::LoadSkinImage(id, again)) << id;      // decoded anew
        ASSERT_NE(preloaded.get(), again.get());
        EXPECT_TRUE(same(*preloaded, *again)) << id;
    }
    std::unique_ptr<fw::Image> none;
    EXPECT_FALSE(ui::LoadSkinImage(141, none));
    EXPECT_FALSE(ui::LoadSkinImage(999999, none));
    EXPECT_EQ(none, nullptr);
}
