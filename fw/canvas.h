#pragma once
// Off-screen drawing: a premultiplied ARGB32 bitmap and a canvas that draws into it.
#include <cstdint>
#include <string_view>
#include <vector>

#include "fw/geometry.h"
#include "fw/image.h"

namespace fw {

// An off-screen picture: premultiplied ARGB32 pixels, 0xAARRGGBB in native byte order,
// zero-filled (fully transparent) when made.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height);
    void Resize(int width, int height);  // contents become transparent
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint32_t* data() { return px_.data(); }
    const std::uint32_t* data() const { return px_.data(); }
    std::uint32_t At(int x, int y) const { return px_[static_cast<std::size_t>(y) * width_ + x]; }
    int stride() const { return width_ * 4; }  // bytes per row
    void CopyFrom(const Bitmap& other);        // same size as other afterwards

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> px_;
};

enum class TextHint { Default, ClearTypeGridFit };

// Draws into a Bitmap. Image drawing is the same code on every platform; text goes through
// the platform's text renderer.
class Canvas {
public:
    explicit Canvas(Bitmap& target) : target_(target) {}
    Bitmap& target() { return target_; }

    void Clear(std::uint32_t argb);                    // straight ARGB
    void FillRect(const Rect& r, std::uint32_t argb);  // source-over, straight ARGB
    // Draws the source rectangle of the image into the destination rectangle, scaled when
    // the sizes differ (bilinear), composed source-over. Parts of the source outside the
    // image draw nothing. Does nothing for a null or invalid image.
    void DrawImage(const Image* img, const Rect& dst, const Rect& src);
    // Copies a bitmap 1:1 (no blending) to (x, y).
    void Blit(const Bitmap& src, int x, int y);

    // Text in straight ARGB colour at a point (top-left of the text's layout box).
    void DrawText(std::string_view utf8, const Font& font, std::uint32_t argb, Point origin,
                  TextHint hint = TextHint::Default);
    // Text wrapped and clipped to a layout rectangle.
    void DrawText(std::string_view utf8, const Font& font, std::uint32_t argb, const Rect& layout,
                  TextHint hint = TextHint::Default);

    void SetClip(const Rect& r) {
        clip_ = r;
        hasClip_ = true;
    }
    void ResetClip() { hasClip_ = false; }

private:
    Rect ClipRect() const;
    Bitmap& target_;
    Rect clip_{};
    bool hasClip_ = false;
};

}  // namespace fw
