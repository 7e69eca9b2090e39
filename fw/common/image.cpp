// Images from raw pixels and the colour helpers. PNG decoding is a platform service
// (posix/image_posix.cpp).
#include "fw/image.h"

namespace fw {

namespace {
// round(v / 255) for v in 0..255*255, exact.
inline std::uint32_t Div255(std::uint32_t v) {
    v += 128;
    return (v + (v >> 8)) >> 8;
}
}  // namespace

std::unique_ptr<Image> Image::FromPixels(int width, int height, std::vector<std::uint32_t> px) {
    auto img = std::make_unique<Image>();
    if (width <= 0 || height <= 0) return img;
    if (px.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) return img;
    img->width_ = width;
    img->height_ = height;
    img->px_ = std::move(px);
    return img;
}

std::uint32_t Premultiply(std::uint32_t argb) {
    std::uint32_t a = argb >> 24;
    if (a == 255) return argb;
    if (a == 0) return 0;
    std::uint32_t r = Div255(((argb >> 16) & 0xFF) * a);
    std::uint32_t g = Div255(((argb >> 8) & 0xFF) * a);
    std::uint32_t b = Div255((argb & 0xFF) * a);
    return (a << 24) | (r << 16) | (g << 8) | b;
}

std::uint32_t Unpremultiply(std::uint32_t pargb) {
    std::uint32_t a = pargb >> 24;
    if (a == 255) return pargb;
    if (a == 0) return 0;
    auto un = [a](std::uint32_t c) {
        std::uint32_t v = (c * 255 + a / 2) / a;
        return v > 255 ? 255u : v;
    };
    return (a << 24) | (un((pargb >> 16) & 0xFF) << 16) | (un((pargb >> 8) & 0xFF) << 8) | un(pargb & 0xFF);
}

}  // namespace fw
