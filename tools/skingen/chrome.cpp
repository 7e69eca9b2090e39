// Window chrome: the game window frame and logo, the boss-key dialog
// background, the VIP window's title bar pieces and the application icon.
#include <cmath>

#include "art.hpp"
#include "pictures.hpp"

namespace skin {

namespace {

const Rgba kStone = hex(0x3a322b);

// Fills the whole canvas with dark stone.
void stone_fill(const Canvas& c, uint32_t seed, const Rgba& base) {
    Canvas all = mask_of(c.width(), c.height(), [&](cairo_t* k) { cairo_rectangle(k, 0, 0, c.width(), c.height()); });
    texture_into(c, all, [&](int x, int y) { return stone_texel(x, y, seed, base); });
}

// A thin gold rule that fades out at both ends, with a gem in the middle.
void divider(cairo_t* cr, double x0, double x1, double y, bool gem) {
    cairo_new_path(cr);
    cairo_rectangle(cr, x0, y - 0.6, x1 - x0, 1.2);
    fill_with(
        cr,
        linear(x0, 0, x1, 0,
               {{0, hex(0xd8a848, 0)}, {0.3, hex(0xf0cc70, 0.9)}, {0.7, hex(0xf0cc70, 0.9)}, {1, hex(0xd8a848, 0)}}));
    if (gem) draw_gem(cr, (x0 + x1) / 2, y, 3.4, hex(0xd8341a));
}

}  // namespace

// ------------------------------------------------------------ game window

Canvas picture_game_frame() {
    const int W = 800, H = 500, band = 40;
    Canvas c(W, H);
    cairo_t* cr = c.cr();

    // Title band: smooth vertical metal gradient (it is stretched sideways).
    cairo_rectangle(cr, 0, 0, W, band);
    fill_with(cr, linear(0, 0, 0, band,
                         {{0.00, hex(0x6a5238)},
                          {0.04, hex(0x3e3024)},
                          {0.45, hex(0x261c14)},
                          {0.85, hex(0x150f0a)},
                          {1.00, hex(0x0e0a07)}}));
    // Faint stone texture, low frequency across so stretching keeps it calm.
    {
        Canvas bandMask = mask_of(W, H, [&](cairo_t* k) { cairo_rectangle(k, 0, 0, W, band); });
        texture_into(c, bandMask, [](int x, int y) {
            const double n = fbm(x / 90.0, y / 9.0, 4, 77);
            return n > 0.5 ? hex(0xfff0d0, (n - 0.5) * 0.10) : hex(0x000000, (0.5 - n) * 0.25);
        });
    }
    // Warm glow behind the logo and caption.
    cairo_rectangle(cr, 0, 0, W, band);
    fill_with(cr, radial(60, band * 0.55, 0, 260,
                         {{0, hex(0xff7a2a, 0.20)}, {0.5, hex(0xff5a1a, 0.07)}, {1, hex(0xff5a1a, 0)}}));
    // Ember light rising from the lower edge.
    cairo_rectangle(cr, 0, band - 12, W, 9);
    fill_with(cr, linear(0, band - 12, 0, band - 3, {{0, hex(0xff6a1a, 0)}, {1, hex(0xff6a1a, 0.10)}}));
    // Gold moulding along the bottom of the band.
    cairo_rectangle(cr, 0, band - 4, W, 1);
    set_color(cr, hex(0x070403));
    cairo_fill(cr);
    cairo_rectangle(cr, 0, band - 3, W, 3);
    fill_with(cr, linear(0, band - 3, 0, band, {{0, hex(0xffe9a8)}, {0.4, hex(0xd2a04a)}, {1, hex(0x6a4416)}}));
    // Highlight along the top edge.
    cairo_rectangle(cr, 0, 0, W, 1);
    set_color(cr, hex(0xd8b070, 0.8));
    cairo_fill(cr);

    // Body: dark, with a thin gold border at the left, right and bottom edges.
    cairo_rectangle(cr, 0, band, W, H - band);
    fill_with(cr, linear(0, band, 0, H, {{0, hex(0x0a0706)}, {0.08, hex(0x15100c)}, {1, hex(0x0d0a08)}}));
    auto edge = [&](double x, double y, double w, double h, const Rgba& col) {
        cairo_rectangle(cr, x, y, w, h);
        set_color(cr, col);
        cairo_fill(cr);
    };
    // Outer dark line, gold line, bronze line, going inwards.
    edge(0, band, 1, H - band, hex(0x050302));
    edge(W - 1, band, 1, H - band, hex(0x050302));
    edge(0, H - 1, W, 1, hex(0x050302));
    edge(1, band, 1, H - band - 1, hex(0xd8a850));
    edge(W - 2, band, 1, H - band - 1, hex(0xb88a3a));
    edge(1, H - 2, W - 2, 1, hex(0xa8782e));
    edge(2, band, 1, H - band - 2, hex(0x6a4620));
    edge(W - 3, band, 1, H - band - 2, hex(0x5a3a18));
    edge(2, H - 3, W - 4, 1, hex(0x5a3a18));
    // The same vertical edges through the title band.
    edge(0, 0, 1, band, hex(0x050302, 0.9));
    edge(W - 1, 0, 1, band, hex(0x050302, 0.9));
    edge(1, 1, 1, band - 1, hex(0xb88a3a, 0.8));
    edge(W - 2, 1, 1, band - 1, hex(0x9a7030, 0.8));
    return c;
}

Canvas picture_game_logo() {
    const int W = 48, H = 29;
    Canvas c(W, H);
    // Small bat wings either side of the medallion, drawn at pixel scale.
    for (int side : {-1, 1}) {
        Canvas wing(W, H);
        cairo_t* k = wing.cr();
        if (side > 0) {
            cairo_translate(k, W, 0);
            cairo_scale(k, -1, 1);
        }
        cairo_move_to(k, 13, 8);
        cairo_curve_to(k, 9, 3.5, 5, 2, 0.8, 1.8);
        cairo_curve_to(k, 2.8, 5, 2.8, 7.5, 2.0, 10);
        cairo_curve_to(k, 4.4, 10.6, 5.4, 12.5, 5.0, 15);
        cairo_curve_to(k, 7.4, 15.2, 9.4, 16.6, 11, 19.5);
        cairo_close_path(k);
        fill_with(k, linear(0, 2, 0, 19, {{0, hex(0xfff0b8)}, {0.5, hex(0xd8a042)}, {1, hex(0x7a4a14)}}), true);
        set_color(k, hex(0x1a0a03, 0.9));
        cairo_set_line_width(k, 0.7);
        cairo_stroke(k);
        // Finger bones.
        for (Pt p : {Pt{2.0, 10}, Pt{5.0, 15}}) {
            cairo_move_to(k, 12, 9);
            cairo_line_to(k, p.x + 0.5, p.y - 0.3);
        }
        set_color(k, hex(0x5a3008, 0.8));
        cairo_set_line_width(k, 0.6);
        cairo_stroke(k);
        glow(c, wing, 1.2, hex(0x000000, 0.9), 0, 0.6);
        c.paint(wing);
    }
    draw_medallion(c, W / 2.0, 14.5, 14, 0);
    return c;
}

// ------------------------------------------------------------ boss-key dialog

Canvas picture_boss_dialog() {
    const int W = 355, H = 169;
    Canvas c(W, H);
    cairo_t* cr = c.cr();
    stone_fill(c, 11, kStone);
    // Darken towards the edges and warm the lower middle.
    cairo_rectangle(cr, 0, 0, W, H);
    fill_with(cr, radial(W / 2.0, H * 0.55, 30, W * 0.62, {{0, hex(0x000000, 0)}, {1, hex(0x000000, 0.55)}}));
    cairo_rectangle(cr, 0, 0, W, H);
    fill_with(cr, radial(W / 2.0, H + 10, 0, 150, {{0, hex(0xff5a1a, 0.22)}, {1, hex(0xff5a1a, 0)}}));

    // Frame: a border with concave corners; the top-right notch holds the close cross.
    const double notch = 14;
    // Outline at a given inset: straight edges, concave quarter circles about
    // the four canvas corners (radius grows with the inset so bands stay even).
    auto frame = [&](cairo_t* k, double inset) {
        const double r = notch + inset - 2;
        const double d = std::asin(inset / r);
        cairo_new_sub_path(k);
        cairo_arc_negative(k, 0, 0, r, M_PI / 2 - d, d);
        cairo_arc_negative(k, W, 0, r, M_PI - d, M_PI / 2 + d);
        cairo_arc_negative(k, W, H, r, 3 * M_PI / 2 - d, M_PI + d);
        cairo_arc_negative(k, 0, H, r, 2 * M_PI - d, 3 * M_PI / 2 + d);
        cairo_close_path(k);
    };
    Canvas outerBand = mask_of(W, H, [&](cairo_t* k) {
        frame(k, 2);
        frame(k, 6);
        cairo_set_fill_rule(k, CAIRO_FILL_RULE_EVEN_ODD);
    });
    {
        Canvas gold(W, H);
        cairo_rectangle(gold.cr(), 0, 0, W, H);
        fill_with(gold.cr(), linear(0, 0, W * 0.3, H, gold_stops()));
        clip_to(gold, outerBand);
        glow(c, outerBand, 3, hex(0x000000, 0.9), 0, 1);
        c.paint(gold);
        emboss(c, outerBand, 1.4, 1.3);
    }
    // Fine inner line.
    cairo_new_path(cr);
    frame(cr, 10.5);
    set_color(cr, hex(0xd8a848, 0.5));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    // The corner notches are dark wells; a gold dot marks the three empty ones.
    for (auto [x, y] : {std::pair{0.0, 0.0}, {double(W), 0.0}, {double(W), double(H)}, {0.0, double(H)}}) {
        cairo_new_path(cr);
        cairo_arc(cr, x, y, notch - 3, 0, 2 * M_PI);
        fill_with(cr, radial(x, y, 0, notch, {{0, hex(0x0c0705)}, {0.8, hex(0x1a100a)}, {1, hex(0x2a1c10)}}));
        if (x == W && y == 0) continue;
        draw_gem(cr, x + (x > 0 ? -4.5 : 4.5), y + (y > 0 ? -4.5 : 4.5), 2.8, hex(0xd8341a));
    }

    // Header.
    TextStyle title;
    title.size_px = 17;
    title.letter_spacing_px = 3;
    title.fill = {{0, hex(0xfff2c8)}, {0.5, hex(0xf0c468)}, {1, hex(0xa87024)}};
    title.outline = hex(0x120602);
    title.outline_width = 2;
    title.shadow = hex(0x000000, 0.9);
    title.shadow_dy = 1.5;
    title.shadow_blur = 2.5;
    title.glow = hex(0xff7a1a, 0.45);
    title.glow_radius = 8;
    draw_text(c, "老板键设置", title, W / 2.0 + 1.5, 30);
    divider(cr, 48, 113, 30, false);
    divider(cr, 242, 307, 30, false);
    draw_gem(cr, 117, 30, 2.8, hex(0xd8341a));
    draw_gem(cr, 238, 30, 2.8, hex(0xd8341a));
    divider(cr, 40, W - 40.0, 52, true);

    // Well of the hot-key field (the field itself covers 134,72 .. 225,94).
    cairo_new_path(cr);
    rounded_rect(cr, 130.5, 68.5, 99, 30, 3);
    fill_with(cr, linear(0, 68, 0, 99, {{0, hex(0x050302)}, {1, hex(0x1a120c)}}), true);
    fill_with(cr, linear(0, 68, 0, 99, {{0, hex(0x6a4a20)}, {0.5, hex(0xd8a848)}, {1, hex(0xfff0b0)}}), true);
    cairo_set_line_width(cr, 1.2);
    stroke_with(cr, linear(0, 68, 0, 99, {{0, hex(0x5a3a18)}, {1, hex(0xf0cc70)}}), 1.2);
    // Hint and lower ornament.
    TextStyle hint;
    hint.family = "Noto Sans CJK SC";
    hint.weight = PANGO_WEIGHT_NORMAL;
    hint.size_px = 11.5;
    hint.fill = {{0, hex(0xcdb07a)}, {1, hex(0xa08050)}};
    hint.shadow = hex(0x000000, 0.9);
    hint.shadow_dy = 1;
    hint.shadow_blur = 1.5;
    draw_text(c, "在输入框中按下新的组合键，再点击确定", hint, W / 2.0, 122);
    // Lower ornament: two curls joined by an arch, leaves to the sides, a gem.
    {
        const double x = W / 2.0, y = 147;
        Canvas scroll = mask_of(W, H, [&](cairo_t* k) {
            curl(k, x - 14, y + 1, 8, 1.3, 3.0, -1, 0);
            curl(k, x + 14, y + 1, 8, 1.3, 3.0, 1, M_PI);
            tapered_curve(k, {x - 22, y + 1}, {x - 12, y - 10}, {x + 12, y - 10}, {x + 22, y + 1}, 2, 2);
            tapered_curve(k, {x - 22, y + 2}, {x - 40, y + 9}, {x - 60, y + 1}, {x - 90, y - 2}, 2.6, 0.4);
            tapered_curve(k, {x + 22, y + 2}, {x + 40, y + 9}, {x + 60, y + 1}, {x + 90, y - 2}, 2.6, 0.4);
        });
        glow(c, scroll, 2, hex(0x000000, 0.9), 0, 1);
        Canvas gold(W, H);
        cairo_rectangle(gold.cr(), 0, 0, W, H);
        fill_with(gold.cr(), linear(0, y - 12, 0, y + 10, gold_stops()));
        clip_to(gold, scroll);
        c.paint(gold);
        emboss(c, scroll, 1, 1.2);
        draw_gem(cr, x, y - 9, 3.6, hex(0xff5a1a));
    }
    return c;
}

// ------------------------------------------------------------ VIP window

Canvas picture_vip_logo() {
    const int W = 39, H = 47;
    Canvas c(W, H);
    // Two interleaved arms winding into the centre.
    Canvas swirl = mask_of(W, H, [](cairo_t* k) {
        cairo_translate(k, 19.5, 23.5);
        cairo_scale(k, 1.0, 1.18);
        curl(k, 0, 0, 16, 1.1, 7.5, 1, -M_PI / 2, true);
        curl(k, 0, 0, 16, 1.1, 7.5, 1, M_PI / 2, true);
        cairo_new_sub_path(k);
        cairo_arc(k, 0, 0, 3.0, 0, 2 * M_PI);
    });
    glow(c, swirl, 3, hex(0x0a2a5a, 0.55), 0.5, 1);
    Canvas white = copy_of(swirl);
    tint(white, hex(0xffffff));
    c.paint(white);
    return c;
}

Canvas picture_vip_title() {
    const int W = 818, H = 47;
    Canvas c(W, H);
    cairo_t* cr = c.cr();
    cairo_rectangle(cr, 0, 0, W, H);
    fill_with(cr, linear(0, 0, 0, H,
                         {{0.00, hex(0xe4f2ff)}, {0.45, hex(0x9ccaf6)}, {0.50, hex(0x7ab4ee)}, {1.00, hex(0x4a8fdc)}}));
    // A soft light from the left where the logo and title sit.
    cairo_rectangle(cr, 0, 0, W, H);
    fill_with(cr, radial(40, 0, 0, 420, {{0, hex(0xffffff, 0.35)}, {1, hex(0xffffff, 0)}}));
    cairo_rectangle(cr, 0, 0, W, 1.5);
    set_color(cr, hex(0xffffff, 0.9));
    cairo_fill(cr);
    cairo_rectangle(cr, 0, H - 1.5, W, 1.5);
    set_color(cr, hex(0x2c66ae));
    cairo_fill(cr);
    return c;
}

Canvas picture_vip_close() {
    Canvas out(40, 60);
    for (int state = 0; state < 3; ++state) {
        Canvas f(40, 20);
        cairo_t* cr = f.cr();
        if (state > 0) {
            cairo_rectangle(cr, 0, 0, 40, 20);
            fill_with(cr, linear(0, 0, 0, 20,
                                 state == 1 ? Stops{{0, hex(0xf46a5e)}, {0.5, hex(0xe04a3c)}, {1, hex(0xc8302a)}}
                                            : Stops{{0, hex(0xa82a22)}, {1, hex(0x881c16)}}));
        }
        cairo_new_path(cr);
        cairo_move_to(cr, 15.5, 5.5);
        cairo_line_to(cr, 24.5, 14.5);
        cairo_move_to(cr, 24.5, 5.5);
        cairo_line_to(cr, 15.5, 14.5);
        set_color(cr, state == 0 ? hex(0x1c3556) : hex(0xffffff));
        cairo_set_line_width(cr, 1.6);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(cr);
        out.paint_at(f, 0, 20 * state);
    }
    return out;
}

// ------------------------------------------------------------ icon

Canvas picture_icon(int size) {
    Canvas c(size, size);
    const int detail = size <= 32 ? 0 : (size < 128 ? 1 : 2);
    const double margin = detail == 2 ? size * 0.04 : (detail == 1 ? 1.5 : 0.3);
    draw_medallion(c, size / 2.0, size / 2.0 - (detail == 2 ? size * 0.01 : 0), size / 2.0 - margin, detail);
    return c;
}

Canvas picture_icon_256() { return picture_icon(256); }

}  // namespace skin
