// Text drawing with Pango on a cairo surface that wraps the canvas's bitmap in place
// (cairo's ARGB32 is the same premultiplied 0xAARRGGBB layout).
#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>

#include "fw/backend.h"
#include "fw/canvas.h"
#include "fw/text.h"

namespace fw {

namespace {

struct Layout {
    Point origin;
    int wrapWidth = -1;  // pixels; -1: one line per paragraph, no wrapping
};

void Render(Bitmap& bmp, const Rect& clip, std::string_view utf8, const Font& font, std::uint32_t argb,
            const Layout& how, TextHint hint) {
    // The text ends at the first zero, as a zero-terminated string would.
    utf8 = utf8.substr(0, utf8.find('\0'));
    if (utf8.empty() || (argb >> 24) == 0 || clip.IsEmpty() || bmp.width() <= 0) return;
    if (cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, bmp.width()) != bmp.stride()) return;
    backend::InstallFontAliases();
    const std::string text = SanitizeUtf8(utf8);

    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(bmp.data()), CAIRO_FORMAT_ARGB32, bmp.width(), bmp.height(), bmp.stride());
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_rectangle(cr, clip.left, clip.top, clip.Width(), clip.Height());
    cairo_clip(cr);

    PangoLayout* layout = pango_cairo_create_layout(cr);
    // Grayscale antialiasing in both cases: subpixel (component-alpha) rendering onto a
    // transparent surface leaves pixels whose colour exceeds their alpha, which no longer
    // compose as premultiplied pixels. Grid fitting is full hinting with hinted metrics.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_hint_style(
        options, hint == TextHint::ClearTypeGridFit ? CAIRO_HINT_STYLE_FULL : CAIRO_HINT_STYLE_SLIGHT);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);

    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, font.face.empty() ? "sans-serif" : font.face.c_str());
    pango_font_description_set_absolute_size(desc, (font.pixelSize > 0 ? font.pixelSize : 1) * PANGO_SCALE);
    pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);

    if (how.wrapWidth >= 0) {
        pango_layout_set_width(layout, how.wrapWidth * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));

    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
    cairo_move_to(cr, how.origin.x, how.origin.y);
    pango_cairo_show_layout(cr, layout);

    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
}

}  // namespace

void Canvas::DrawText(std::string_view utf8, const Font& font, std::uint32_t argb, Point origin, TextHint hint) {
    Render(target_, ClipRect(), utf8, font, argb, Layout{origin, -1}, hint);
}

void Canvas::DrawText(std::string_view utf8, const Font& font, std::uint32_t argb, const Rect& layout, TextHint hint) {
    if (layout.IsEmpty()) return;
    Render(target_, ClipRect().Intersect(layout), utf8, font, argb, Layout{layout.TopLeft(), layout.Width()}, hint);
}

}  // namespace fw
