// The raster part of the canvas: premultiplied ARGB32 compositing, 1:1 and bilinear image
// drawing, fills and copies. Text is drawn by the platform (posix/text_render_posix.cpp).
#include "fw/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fw {

namespace {

// Premultiplied source-over: s + d * (255 - sa) / 255, every channel rounded exactly.
// Two channels are worked on at once in 16-bit lanes of one 32-bit word.
inline std::uint32_t Over(std::uint32_t s, std::uint32_t d) {
    const std::uint32_t ia = 255 - (s >> 24);
    std::uint32_t rb = (d & 0x00FF00FFu) * ia + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    std::uint32_t ag = ((d >> 8) & 0x00FF00FFu) * ia + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return s + rb + ag;
}

// Composes one premultiplied pixel onto the destination.
inline void Put(std::uint32_t* d, std::uint32_t s) {
    const std::uint32_t a = s >> 24;
    if (a == 0) return;
    if (a == 255 || *d == 0) {
        *d = s;  // opaque source, or nothing underneath: the source as is
    } else {
        *d = Over(s, *d);
    }
}

#if defined(__SSE2__)
// Source-over of four pixels at once, with the same exact rounding as Over().
inline __m128i Over4(__m128i s, __m128i d) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i c128 = _mm_set1_epi16(128);
    auto half = [&](__m128i s16, __m128i d16) {
        __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
        __m128i t = _mm_add_epi16(_mm_mullo_epi16(d16, _mm_sub_epi16(c255, a)), c128);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    const __m128i lo = half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    const __m128i hi = half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
    return _mm_add_epi8(s, _mm_packus_epi16(lo, hi));
}
#endif

// Composes a row of n source pixels onto n destination pixels. Opaque runs are copied in
// one piece; fully transparent pixels are skipped.
void BlendRow(std::uint32_t* dst, const std::uint32_t* src, int n) {
    int i = 0;
    while (i < n) {
#if defined(__SSE2__)
        if (i + 4 <= n) {
            const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            const __m128i alpha = _mm_srli_epi32(s, 24);
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255))) == 0xFFFF) {
                int j = i + 4;  // an opaque run: find its end and copy it whole
                while (j < n && (src[j] >> 24) == 255) ++j;
                std::memcpy(dst + i, src + i, static_cast<std::size_t>(j - i) * 4);
                i = j;
                continue;
            }
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_setzero_si128())) != 0xFFFF) {
                __m128i* d = reinterpret_cast<__m128i*>(dst + i);
                _mm_storeu_si128(d, Over4(s, _mm_loadu_si128(d)));
            }
            i += 4;
            continue;
        }
#endif
        const std::uint32_t s = src[i];
        const std::uint32_t a = s >> 24;
        if (a == 255) {
            int j = i + 1;
            while (j < n && (src[j] >> 24) == 255) ++j;
            std::memcpy(dst + i, src + i, static_cast<std::size_t>(j - i) * 4);
            i = j;
            continue;
        }
        if (a != 0) {
            const std::uint32_t d = dst[i];
            dst[i] = d == 0 ? s : Over(s, d);
        }
        ++i;
    }
}

// Linear interpolation of two premultiplied pixels, weight f of b in 0..256.
inline std::uint32_t Lerp(std::uint32_t a, std::uint32_t b, std::uint32_t f) {
    if (f == 0 || a == b) return a;
    const std::uint32_t g = 256 - f;
    const std::uint32_t rb = (((a & 0x00FF00FFu) * g + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
    const std::uint32_t ag = (((a >> 8) & 0x00FF00FFu) * g + ((b >> 8) & 0x00FF00FFu) * f) & 0xFF00FF00u;
    return rb | ag;
}

// Where one destination column (or row) samples the source: two neighbouring source
// indices and the weight of the second, or nothing when it maps outside the image.
struct Tap {
    int i0;
    int i1;
    std::uint32_t f;  // 0..256
    bool inside;
};

// Fills taps for destination coordinates [from, to) of a destination span starting at
// dstStart with length dstLen, mapped onto the source span [srcStart, srcStart + srcLen)
// of which [validLo, validHi) lies inside the image. Sample centres are mapped, and the
// neighbours are clamped to the valid part of the source.
void MakeTaps(std::vector<Tap>& taps, int from, int to, int dstStart, int dstLen, int srcStart, int srcLen, int validLo,
              int validHi) {
    taps.resize(static_cast<std::size_t>(to - from));
    const double scale = static_cast<double>(srcLen) / dstLen;
    for (int x = from; x < to; ++x) {
        Tap& t = taps[static_cast<std::size_t>(x - from)];
        const double u = srcStart + (x - dstStart + 0.5) * scale;  // source position of the centre
        if (!(u >= validLo && u < validHi)) {
            t = {0, 0, 0, false};
            continue;
        }
        double s = u - 0.5;
        if (s < validLo) s = validLo;
        if (s > validHi - 1) s = validHi - 1;
        int i0 = static_cast<int>(std::floor(s));
        auto f = static_cast<std::uint32_t>(std::lround((s - i0) * 256.0));
        if (f >= 256) {
            ++i0;
            f = 0;
        }
        if (i0 > validHi - 1) i0 = validHi - 1;
        const int i1 = i0 + 1 < validHi ? i0 + 1 : i0;
        t = {i0, i1, f, true};
    }
}

}  // namespace

Bitmap::Bitmap(int width, int height) { Resize(width, height); }

void Bitmap::Resize(int width, int height) {
    if (width <= 0 || height <= 0) width = height = 0;
    width_ = width;
    height_ = height;
    px_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
}

void Bitmap::CopyFrom(const Bitmap& other) {
    if (this == &other) return;
    width_ = other.width_;
    height_ = other.height_;
    px_ = other.px_;
}

Rect Canvas::ClipRect() const {
    Rect bounds{0, 0, target_.width(), target_.height()};
    return hasClip_ ? bounds.Intersect(clip_) : bounds;
}

void Canvas::Clear(std::uint32_t argb) {
    const Rect c = ClipRect();
    if (c.IsEmpty()) return;
    const std::uint32_t p = Premultiply(argb);
    const int w = target_.width();
    for (int y = c.top; y < c.bottom; ++y) {
        std::uint32_t* row = target_.data() + static_cast<std::size_t>(y) * w;
        std::fill(row + c.left, row + c.right, p);
    }
}

void Canvas::FillRect(const Rect& r, std::uint32_t argb) {
    const Rect c = ClipRect().Intersect(r);
    const std::uint32_t p = Premultiply(argb);
    if (c.IsEmpty() || p == 0) return;
    const int w = target_.width();
    for (int y = c.top; y < c.bottom; ++y) {
        std::uint32_t* row = target_.data() + static_cast<std::size_t>(y) * w;
        if ((p >> 24) == 255) {
            std::fill(row + c.left, row + c.right, p);
        } else {
            for (int x = c.left; x < c.right; ++x) Put(row + x, p);
        }
    }
}

void Canvas::DrawImage(const Image* img, const Rect& dst, const Rect& src) {
    if (!img || !img->valid() || dst.IsEmpty() || src.IsEmpty()) return;
    const Rect valid = src.Intersect(Rect{0, 0, img->width(), img->height()});
    const Rect area = ClipRect().Intersect(dst);
    if (valid.IsEmpty() || area.IsEmpty()) return;
    const int tw = target_.width();
    const int iw = img->width();

    if (dst.Width() == src.Width() && dst.Height() == src.Height()) {
        // 1:1: the destination pixels that show the valid part of the source.
        const int dx = dst.left - src.left;
        const int dy = dst.top - src.top;
        const Rect r = area.Intersect(valid.Offset(dx, dy));
        if (r.IsEmpty()) return;
        for (int y = r.top; y < r.bottom; ++y) {
            std::uint32_t* d = target_.data() + static_cast<std::size_t>(y) * tw + r.left;
            const std::uint32_t* s = img->pixels() + static_cast<std::size_t>(y - dy) * iw + (r.left - dx);
            BlendRow(d, s, r.Width());
        }
        return;
    }

    // Scaled: bilinear over sample centres, neighbours clamped at the edges of the source.
    std::vector<Tap> cols, rows;
    MakeTaps(cols, area.left, area.right, dst.left, dst.Width(), src.left, src.Width(), valid.left, valid.right);
    MakeTaps(rows, area.top, area.bottom, dst.top, dst.Height(), src.top, src.Height(), valid.top, valid.bottom);
    // The source columns the taps read.
    int colLo = valid.right, colHi = valid.left - 1;
    for (const Tap& t : cols) {
        if (!t.inside) continue;
        colLo = std::min(colLo, t.i0);
        colHi = std::max(colHi, t.i1);
    }
    if (colHi < colLo) return;
    // The mapping is monotonic, so the columns that see the source are one run.
    int colFrom = 0, colTo = 0;
    while (colFrom < area.Width() && !cols[static_cast<std::size_t>(colFrom)].inside) ++colFrom;
    colTo = colFrom;
    while (colTo < area.Width() && cols[static_cast<std::size_t>(colTo)].inside) ++colTo;

    // Each destination row: the two source rows are mixed once per source column, then
    // each destination pixel mixes two neighbours of that row; the finished row is composed
    // like a 1:1 row (clear pixels, which include the columns outside the source, are skipped).
    const std::uint32_t* px = img->pixels();
    std::vector<std::uint32_t> mixed(static_cast<std::size_t>(colHi - colLo + 1));
    std::vector<std::uint32_t> line(static_cast<std::size_t>(area.Width()));
    for (int y = area.top; y < area.bottom; ++y) {
        const Tap& ty = rows[static_cast<std::size_t>(y - area.top)];
        if (!ty.inside) continue;
        const std::uint32_t* r0 = px + static_cast<std::size_t>(ty.i0) * iw;
        const std::uint32_t* r1 = px + static_cast<std::size_t>(ty.i1) * iw;
        const std::uint32_t* srow = r0 + colLo;  // srow[i - colLo] is source column i
        if (ty.f != 0 && ty.i0 != ty.i1) {
            for (int i = colLo; i <= colHi; ++i) mixed[static_cast<std::size_t>(i - colLo)] = Lerp(r0[i], r1[i], ty.f);
            srow = mixed.data();
        }
        for (int x = 0; x < colFrom; ++x) line[static_cast<std::size_t>(x)] = 0u;
        for (int x = colFrom; x < colTo; ++x) {
            const Tap& tx = cols[static_cast<std::size_t>(x)];
            line[static_cast<std::size_t>(x)] = Lerp(srow[tx.i0 - colLo], srow[tx.i1 - colLo], tx.f);
        }
        for (int x = colTo; x < area.Width(); ++x) line[static_cast<std::size_t>(x)] = 0u;
        BlendRow(target_.data() + static_cast<std::size_t>(y) * tw + area.left, line.data(), area.Width());
    }
}

void Canvas::Blit(const Bitmap& src, int x, int y) {
    const Rect r = ClipRect().Intersect(Rect::FromXYWH(x, y, src.width(), src.height()));
    if (r.IsEmpty()) return;
    const int tw = target_.width();
    const int sw = src.width();
    for (int row = r.top; row < r.bottom; ++row) {
        std::memcpy(target_.data() + static_cast<std::size_t>(row) * tw + r.left,
                    src.data() + static_cast<std::size_t>(row - y) * sw + (r.left - x),
                    static_cast<std::size_t>(r.Width()) * 4);
    }
}

}  // namespace fw
