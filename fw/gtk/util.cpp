// Conversions at the edge to GTK (pictures to pixbufs, text to valid UTF-8), and the early
// start of what the toolkit would do lazily.
#include <gdk/gdkx.h>

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
    if (g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr) && s.find('\0') == std::string::npos)
        return s;
    gchar* v = g_utf8_make_valid(s.data(), static_cast<gssize>(s.size()));
    std::string out(v);  // stops at an embedded zero, as GTK's C strings would
    g_free(v);
    return out;
}

void StartLazyPartsNow() {
    g_vfs_get_default();
    // The first metrics start the font map's thread; the toolkit's default face is asked for.
    PangoContext* ctx = pango_font_map_create_context(pango_cairo_font_map_get_default());
    PangoFontDescription* face = pango_font_description_from_string("Sans 10");
    pango_font_metrics_unref(pango_context_get_metrics(ctx, face, nullptr));
    pango_font_description_free(face);
    g_object_unref(ctx);
    GdkDisplay* d = gdk_display_get_default();
    if (!d || !GDK_IS_X11_DISPLAY(d)) return;
    Display* dpy = GDK_DISPLAY_XDISPLAY(d);
    XFreePixmap(dpy, XCreatePixmap(dpy, DefaultRootWindow(dpy), 1, 1, 1));
}

}  // namespace fw::gtk
