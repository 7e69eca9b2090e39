#pragma once
// Decoded pictures and fonts.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace fw {

// A picture decoded from PNG bytes into premultiplied ARGB32 pixels (one uint32_t per
// pixel, 0xAARRGGBB in native byte order, rows top to bottom, no padding). An image whose
// bytes could not be decoded still exists but is not valid: it has no size and draws nothing.
class Image {
public:
    Image() = default;
    // Never returns null; a decoding failure gives an invalid image.
    static std::unique_ptr<Image> FromPng(std::span<const std::uint8_t> bytes);
    // An image from raw premultiplied pixels (tests, generated pictures).
    static std::unique_ptr<Image> FromPixels(int width, int height, std::vector<std::uint32_t> px);

    bool valid() const { return width_ > 0 && height_ > 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    const std::uint32_t* pixels() const { return px_.data(); }
    std::uint32_t At(int x, int y) const { return px_[static_cast<std::size_t>(y) * width_ + x]; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> px_;
};

// A font by face name, pixel size and weight. The face may not exist on the system.
struct Font {
    std::string face;
    int pixelSize = 12;
    bool bold = false;
    // True when the system has a font family of this name (or an alias for it).
    bool Exists() const;
};

// Colour helpers: ARGB 0xAARRGGBB straight (not premultiplied) to premultiplied and back.
std::uint32_t Premultiply(std::uint32_t argb);
std::uint32_t Unpremultiply(std::uint32_t pargb);

}  // namespace fw
