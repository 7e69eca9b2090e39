// PNG decoding with libpng, from memory. Every colour type and bit depth ends as
// premultiplied ARGB32; anything the decoder rejects gives an invalid image.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "fw/image.h"

namespace fw {

namespace {

constexpr png_uint_32 kMaxSide = 16384;
// Deflate cannot compress better than 1032:1, so image data that would need more than
// this many bytes per compressed byte cannot be in the file: refuse it before allocating.
constexpr std::uint64_t kMaxInflateRatio = 1100;

struct Source {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t n) {
    auto* s = static_cast<Source*>(png_get_io_ptr(png));
    if (n > s->size - s->pos) png_error(png, "truncated");
    std::memcpy(out, s->data + s->pos, n);
    s->pos += n;
}

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

struct Decoded {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    std::vector<std::uint32_t> px;  // premultiplied ARGB32
    std::vector<png_byte> rgba;     // straight RGBA, 8 bits per channel: one row, or all rows
    std::vector<png_bytep> rows;    // of an interlaced image, whose passes fill every row
};

void ConvertRow(const png_byte* p, std::uint32_t* out, png_uint_32 w) {
    for (png_uint_32 x = 0; x < w; ++x, p += 4) {
        std::uint32_t argb = (static_cast<std::uint32_t>(p[3]) << 24) | (static_cast<std::uint32_t>(p[0]) << 16) |
                             (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
        out[x] = Premultiply(argb);
    }
}

// Kept apart from the caller so that nothing with a destructor lives in the frame that
// calls setjmp; the output is written only through `out`.
bool DecodeRgba(png_structp png, png_infop info, Source* src, Decoded* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, src, ReadFromMemory);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);

    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return false;
    std::uint64_t raw = static_cast<std::uint64_t>(h) * (png_get_rowbytes(png, info) + 1);
    if (raw > static_cast<std::uint64_t>(src->size) * kMaxInflateRatio) return false;

    png_set_expand(png);  // palette -> RGB, gray < 8 bits -> 8 bits, tRNS -> alpha
#ifdef PNG_READ_SCALE_16_TO_8_SUPPORTED
    png_set_scale_16(png);
#else
    png_set_strip_16(png);
#endif
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(w) * 4) return false;

    const std::size_t pixels = static_cast<std::size_t>(w) * h;
    try {
        out->px.resize(pixels);
        out->rgba.resize((passes > 1 ? pixels : w) * 4);
        if (passes > 1) out->rows.resize(h);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (passes > 1) {
        for (png_uint_32 y = 0; y < h; ++y) out->rows[y] = out->rgba.data() + static_cast<std::size_t>(y) * w * 4;
        png_read_image(png, out->rows.data());
        for (png_uint_32 y = 0; y < h; ++y)
            ConvertRow(out->rows[y], out->px.data() + static_cast<std::size_t>(y) * w, w);
    } else {
        // Row by row into one row's room: the picture is converted while its rows are still in
        // the cache, and no second copy of it is made.
        for (png_uint_32 y = 0; y < h; ++y) {
            png_read_row(png, out->rgba.data(), nullptr);
            ConvertRow(out->rgba.data(), out->px.data() + static_cast<std::size_t>(y) * w, w);
        }
    }
    out->width = w;
    out->height = h;
    return true;
}

}  // namespace

std::unique_ptr<Image> Image::FromPng(std::span<const std::uint8_t> bytes) {
    auto img = std::make_unique<Image>();
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return img;

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!png) return img;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return img;
    }
    Source src{bytes.data(), bytes.size(), 0};
    Decoded d;
    bool ok = DecodeRgba(png, info, &src, &d);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) return img;

    img->width_ = static_cast<int>(d.width);
    img->height_ = static_cast<int>(d.height);
    img->px_ = std::move(d.px);
    return img;
}

}  // namespace fw
