// Preview compositions: the written pictures put together the way the
// launcher, the game window, the boss-key dialog and the VIP window draw
// them, so that the skin can be judged as a whole.
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

#include "pictures.hpp"
#include "shared/launcher_layout.h"

namespace skin {

namespace {

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

SurfacePtr load_png(const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        throw std::runtime_error("cannot read " + path);
    }
    return SurfacePtr(s, cairo_surface_destroy);
}

class Skin {
public:
    explicit Skin(std::string dir) : dir_(std::move(dir)) {}
    cairo_surface_t* get(int id) {
        auto it = images_.find(id);
        if (it == images_.end()) it = images_.emplace(id, load_png(dir_ + "/png/" + std::to_string(id) + ".png")).first;
        return it->second.get();
    }

private:
    std::string dir_;
    std::map<int, SurfacePtr> images_;
};

// Draws source rectangle (sx, sy, sw, sh) of an image into (dx, dy, dw, dh).
void blit(cairo_t* cr, cairo_surface_t* img, double sx, double sy, double sw, double sh, double dx, double dy,
          double dw, double dh) {
    cairo_save(cr);
    cairo_rectangle(cr, dx, dy, dw, dh);
    cairo_clip(cr);
    cairo_translate(cr, dx, dy);
    cairo_scale(cr, dw / sw, dh / sh);
    cairo_set_source_surface(cr, img, -sx, -sy);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_paint(cr);
    cairo_restore(cr);
}

// Slice n of a vertical (or horizontal) strip into a rectangle of the slice size.
void slice(cairo_t* cr, cairo_surface_t* img, double x, double y, double w, double h, int n, bool vertical = true) {
    blit(cr, img, vertical ? 0 : n * w, vertical ? n * h : 0, w, h, x, y, w, h);
}

void backdrop(cairo_t* cr, int w, int h) {
    cairo_rectangle(cr, 0, 0, w, h);
    fill_with(cr, linear(0, 0, w, h, {{0, hex(0x3a5a7a)}, {1, hex(0x8aa0b0)}}));
}

void plain_text(cairo_t* cr, const char* text, const char* family, double px, bool bold, const Rgba& c, double x,
                double y) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, family);
    pango_font_description_set_weight(d, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(d, px * PANGO_SCALE);
    pango_layout_set_font_description(layout, d);
    pango_font_description_free(d);
    pango_layout_set_text(layout, text, -1);
    set_color(cr, c);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

Canvas launcher(Skin& s, int hot) {
    Canvas c(1330, 744);
    cairo_t* cr = c.cr();
    backdrop(cr, c.width(), c.height());
    cairo_translate(cr, 20, 20);
    blit(cr, s.get(149), 0, 0, 1290, 704, 0, 0, 1290, 704);
    namespace layout = shared::launcher_layout;
    // Stand-in for the page window.
    const fw::Rect page = layout::kWebArea;
    cairo_rectangle(cr, page.left, page.top, page.Width(), page.Height());
    fill_with(cr, linear(0, page.top, 0, page.bottom, {{0, hex(0x1e2630)}, {1, hex(0x0c1014)}}));
    plain_text(cr, "(page)", "Noto Sans CJK SC", 20, false, hex(0x607080), 700, 380);
    // The buttons' pictures, in the layout's order: close, minimise, official site, payment,
    // customer service, forum.
    const int ids[layout::kButtonCount] = {138, 152, 153, 133, 139, 131};
    for (int i = 0; i < layout::kButtonCount; ++i) {
        const fw::Rect r = layout::kButtons[i].rect;
        const int state = (hot == -1 || hot == i) ? 1 : 0;
        slice(cr, s.get(ids[i]), r.left, r.top, r.Width(), r.Height(), state);
    }
    return c;
}

Canvas game_bar(Skin& s, bool hover) {
    const int w = 1300, h = 200;
    Canvas c(w, h);
    cairo_t* cr = c.cr();
    blit(cr, s.get(143), 0, 0, 800, 40, 0, 0, w, 40);
    blit(cr, s.get(143), 0, 40, 800, 460, 0, 40, w, h - 40);
    cairo_rectangle(cr, 2, 40, w - 4, h - 42);
    fill_with(cr, linear(0, 40, 0, h, {{0, hex(0x2a3a4a)}, {1, hex(0x101820)}}));
    blit(cr, s.get(147), 0, 0, 48, 29, 10, 5, 48, 29);
    plain_text(cr, "LumoDrakmoor--烈焰一区(F9刷新)", "Noto Sans CJK SC", 13, false, hex(0xe4d10d), 60, 12);
    const int st = hover ? 1 : 0;
    int x = w - 391;
    slice(cr, s.get(155), x, 9, 75, 22, st);
    x += 75 + 5;
    slice(cr, s.get(154), x, 9, 65, 22, st);
    x += 65 + 5;
    slice(cr, s.get(hover ? 135 : 134), x, 9, 75, 22, st);
    if (hover) slice(cr, s.get(158), x + 4, 9 + 4, 16, 16, 3, false);
    x += 75 + 5;
    slice(cr, s.get(140), x, 9, 65, 22, st);
    x += 65 + 8;
    slice(cr, s.get(151), x, 7, 25, 25, hover ? 1 : 0, false);
    x += 25 + 3;
    slice(cr, s.get(hover ? 157 : 150), x, 7, 25, 25, hover ? 2 : 0, false);
    x += 25 + 3;
    slice(cr, s.get(136), x, 7, 25, 25, hover ? 1 : 0, false);
    slice(cr, s.get(142), w - 532, 9, 136, 22, hover ? 4 : 0);
    blit(cr, s.get(hover ? 159 : 160), 0, 0, 75, 22, w - 612, 9, 75, 22);
    return c;
}

Canvas boss(Skin& s) {
    Canvas c(355 * 2 + 30, 169 + 20);
    cairo_t* cr = c.cr();
    backdrop(cr, c.width(), c.height());
    for (int v = 0; v < 2; ++v) {
        cairo_save(cr);
        cairo_translate(cr, 10 + v * 365, 10);
        blit(cr, s.get(132), 0, 0, 355, 169, 0, 0, 355, 169);
        slice(cr, s.get(137), 344, 0, 11, 11, v);
        slice(cr, s.get(156), 239, 73, 60, 21, v);
        plain_text(cr, "请输入老板键:", "Noto Sans CJK SC", 12, false, hex(0xffffff), 50, 73);
        cairo_rectangle(cr, 134, 72, 91, 22);
        set_color(cr, hex(0xffffff));
        cairo_fill(cr);
        plain_text(cr, "F10", "DejaVu Sans", 12, false, hex(0x000000), 138, 76);
        cairo_restore(cr);
    }
    return c;
}

Canvas vip(Skin& s) {
    Canvas c(831, 100);
    cairo_t* cr = c.cr();
    cairo_rectangle(cr, 0, 0, 831, 100);
    set_color(cr, hex(0xf4f4f4));
    cairo_fill(cr);
    blit(cr, s.get(145), 0, 0, 818, 47, 0, 0, 831, 30);
    blit(cr, s.get(144), 0, 0, 39, 47, 10, 1, 22, 26);
    slice(cr, s.get(146), 791, 2, 40, 20, 0);
    plain_text(cr, "我正在和[Lily]聊天", "Noto Sans CJK SC", 13, true, hex(0x000000), 35, 7);
    cairo_translate(cr, 0, 40);
    blit(cr, s.get(145), 0, 0, 818, 47, 0, 0, 831, 30);
    slice(cr, s.get(146), 700, 2, 40, 20, 1);
    slice(cr, s.get(146), 791, 2, 40, 20, 2);
    return c;
}

// Every strip, scaled up, on a checkerboard.
Canvas strips(Skin& s) {
    const int ids[] = {131, 133, 139, 153, 138, 152, 134, 135, 140, 154, 155, 156, 136,
                       150, 151, 157, 137, 146, 158, 159, 160, 147, 144, 142, 148};
    Canvas c(1400, 1000);
    cairo_t* cr = c.cr();
    for (int y = 0; y < 1000; y += 8)
        for (int x = 0; x < 1400; x += 8) {
            cairo_rectangle(cr, x, y, 8, 8);
            set_color(cr, ((x + y) / 8) % 2 ? hex(0x505050) : hex(0x6a6a6a));
            cairo_fill(cr);
        }
    double x = 10, y = 10, rowH = 0;
    for (int id : ids) {
        cairo_surface_t* img = s.get(id);
        const double iw = cairo_image_surface_get_width(img), ih = cairo_image_surface_get_height(img);
        const double k = (iw > 200 || ih > 200) ? 1.0 : 2.0;
        if (x + iw * k > 1390) {
            x = 10;
            y += rowH + 24;
            rowH = 0;
        }
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, k, k);
        cairo_set_source_surface(cr, img, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
        plain_text(cr, std::to_string(id).c_str(), "DejaVu Sans", 11, true, hex(0xffffff), x, y + ih * k + 2);
        x += iw * k + 16;
        rowH = std::max(rowH, ih * k);
    }
    return c;
}

}  // namespace

int write_previews(const std::string& resdir, const std::string& outdir) {
    Skin s(resdir);
    const std::pair<std::string, Canvas> outputs[] = {
        {"launcher.png", launcher(s, 2)},
        {"launcher_hover.png", launcher(s, -1)},
        {"gamebar.png", game_bar(s, false)},
        {"gamebar_hover.png", game_bar(s, true)},
        {"boss.png", boss(s)},
        {"vip.png", vip(s)},
        {"strips.png", strips(s)},
    };
    for (const auto& [name, canvas] : outputs) {
        const std::string path = outdir + "/" + name;
        if (!write_file(path, encode_png(canvas))) {
            std::fprintf(stderr, "skingen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace skin
