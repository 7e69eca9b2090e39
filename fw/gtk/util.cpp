// Conversions at the edge to GTK: pictures to pixbufs, text to valid UTF-8.
#include <algorithm>

#include "fw/gtk/gtk_native.h"

namespace fw::gtk {

GdkPixbuf* PixbufFromImage(const Image* img) {
    if (!img || !img->valid()) return nullptr;
    int w = img->width(), h = img->height();
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, w, h);
    if (!pb) return nullptr;
    guchar* base = gdk_pixbuf_get_pixels(pb);
    int stride = gdk_pixbuf_get_rowstride(pb);
    const std::uint32_t* px = img->pixels();
    for (int y = 0; y < h; ++y) {
        guchar* out = base + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = px[static_cast<std::size_t>(y) * w + x];
            unsigned a = p >> 24;
            unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (a == 0) {
                r = g = b = 0;
            } else if (a < 255) {
                // Premultiplied to straight, rounded; a premultiplied channel never exceeds
                // alpha in a sound picture, but a bad one is clamped rather than wrapped.
                r = std::min(255u, (r * 255 + a / 2) / a);
                g = std::min(255u, (g * 255 + a / 2) / a);
                b = std::min(255u, (b * 255 + a / 2) / a);
            }
            out[x * 4 + 0] = static_cast<guchar>(r);
            out[x * 4 + 1] = static_cast<guchar>(g);
            out[x * 4 + 2] = static_cast<guchar>(b);
            out[x * 4 + 3] = static_cast<guchar>(a);
        }
    }
    return pb;
}

std::string ValidUtf8(const std::string& s) {
    if (g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr) &&
        s.find('\0') == std::string::npos)
        return s;
    gchar* v = g_utf8_make_valid(s.data(), static_cast<gssize>(s.size()));
    std::string out(v);  // stops at an embedded zero, as GTK's C strings would
    g_free(v);
    return out;
}

}  // namespace fw::gtk
