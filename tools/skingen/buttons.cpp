// Over 500 lines: every button picture of the skin, each a short drawing on the same helpers.
// Buttons of the launcher, the game window's title bar and the boss-key dialog.
#include <cmath>
#include <functional>

#include "art.hpp"
#include "pictures.hpp"

namespace skin {

namespace {

enum State { kNormal = 0, kHover = 1, kPressed = 2 };

// A strip of `count` frames of w x h, stacked vertically or side by side;
// each frame is drawn on a canvas of its own so effects never bleed across.
Canvas strip(int w, int h, int count, bool vertical, const std::function<void(const Canvas&, int)>& frame) {
    Canvas out(vertical ? w : w * count, vertical ? h * count : h);
    for (int i = 0; i < count; ++i) {
        Canvas f(w, h);
        frame(f, i);
        out.paint_at(f, vertical ? 0 : w * i, vertical ? h * i : 0);
    }
    return out;
}

const Rgba kInk = hex(0x150803);

// Caption in the launcher's serif face: gold, outlined, glowing on hover.
TextStyle plate_caption(double size, bool hover) {
    TextStyle s;
    s.family = "Noto Serif CJK SC";
    s.size_px = size;
    s.letter_spacing_px = size * 0.12;
    s.outline = kInk;
    s.outline_width = 2.2;
    s.shadow = hex(0x000000, 0.85);
    s.shadow_dy = 1.5;
    s.shadow_blur = 2.5;
    if (hover) {
        s.fill = {{0, hex(0xffffff)}, {0.45, hex(0xffefb8)}, {1, hex(0xffb443)}};
        s.glow = hex(0xff9a2a, 0.95);
        s.glow_radius = 7;
    } else {
        s.fill = {{0, hex(0xfff1c8)}, {0.5, hex(0xeec166)}, {1, hex(0xa87024)}};
    }
    return s;
}

// Caption of the small title-bar buttons: sans, 12 px.
TextStyle small_caption(int state) {
    TextStyle s;
    s.family = "Noto Sans CJK SC";
    s.size_px = 12.5;
    s.letter_spacing_px = 0.5;
    s.outline = hex(0x120703, 0.95);
    s.outline_width = 1.6;
    if (state == kHover) {
        s.fill = {{0, hex(0xffffff)}, {1, hex(0xffdc8a)}};
        s.glow = hex(0xffa030, 0.8);
        s.glow_radius = 4;
    } else {
        s.fill = {{0, hex(0xfff0c8)}, {1, hex(0xd9ab58)}};
    }
    return s;
}

// ------------------------------------------------------------ launcher link buttons

void launcher_plate(const Canvas& c, const char* caption, bool hover) {
    const int W = c.width(), H = c.height();
    const double x = 5, y = 6, w = 145, h = 42, pt = 14;
    cairo_t* cr = c.cr();
    Canvas body = mask_of(W, H, [&](cairo_t* k) { banner_shape(k, x, y, w, h, pt); });
    if (hover)
        glow(c, body, 8, hex(0xffa53a), 0, 0, 1.6);
    else
        glow(c, body, 4, hex(0x000000, 0.85), 0, 2);

    // Gold rim.
    cairo_new_path(cr);
    banner_shape(cr, x, y, w, h, pt);
    fill_with(cr, linear(0, y, 0, y + h, gold_stops(hover ? 1.12 : 0.95)));
    emboss(c, body, 1.6, 1.3);

    // Inner panel: deep crimson, lit with embers on hover.
    auto inner = [&](cairo_t* k) { banner_shape(k, x + 4, y + 4, w - 8, h - 8, pt - 1.7); };
    cairo_new_path(cr);
    inner(cr);
    if (hover) {
        fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0xb8421c)}, {0.5, hex(0x7a1e0c)}, {1, hex(0x3e0a05)}}), true);
        fill_with(cr,
                  radial(W / 2.0, y + h * 0.55, 0, w * 0.5,
                         {{0, hex(0xffb04a, 0.65)}, {0.6, hex(0xff6a1a, 0.25)}, {1, hex(0xff6a1a, 0.0)}}),
                  true);
    } else {
        fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0x5e1a10)}, {0.5, hex(0x2e0a06)}, {1, hex(0x160403)}}), true);
    }
    set_color(cr, hex(0x1a0803, 0.95));
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    // Fine gold filigree line inside the panel.
    cairo_new_path(cr);
    banner_shape(cr, x + 7, y + 7, w - 14, h - 14, pt - 3.5);
    set_color(cr, hover ? hex(0xffe2a0, 0.75) : hex(0xd9a848, 0.55));
    cairo_set_line_width(cr, 0.9);
    cairo_stroke(cr);
    // Gloss over the upper half.
    cairo_save(cr);
    cairo_new_path(cr);
    inner(cr);
    cairo_clip(cr);
    cairo_rectangle(cr, 0, y, W, h * 0.45);
    fill_with(cr, linear(0, y, 0, y + h * 0.45, {{0, hex(0xffffff, hover ? 0.30 : 0.18)}, {1, hex(0xffffff, 0)}}));
    cairo_restore(cr);
    // Gems at both pointed ends.
    const Rgba core = hover ? hex(0xffc040) : hex(0xd0301a);
    draw_gem(cr, x + 9.5, y + h / 2, 3.6, core);
    draw_gem(cr, x + w - 9.5, y + h / 2, 3.6, core);

    draw_text(c, caption, plate_caption(18, hover), W / 2.0, y + h / 2 + 0.5);
}

Canvas launcher_link(const char* caption) {
    return strip(155, 55, 2, true, [&](const Canvas& f, int i) { launcher_plate(f, caption, i == kHover); });
}

// ------------------------------------------------------------ round launcher buttons

using Glyph = std::function<void(cairo_t*, double cx, double cy, double s)>;

// Draws a glyph twice: a dark wide outline, then the light stroke.
void stroke_glyph(cairo_t* cr, const Glyph& g, double cx, double cy, double s, double width, const Stops& light,
                  const Rgba& dark) {
    cairo_save(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_new_path(cr);
    g(cr, cx, cy, s);
    set_color(cr, dark);
    cairo_set_line_width(cr, width + 2.0);
    cairo_stroke(cr);
    cairo_new_path(cr);
    g(cr, cx, cy, s);
    stroke_with(cr, linear(0, cy - s, 0, cy + s, light), width);
    cairo_restore(cr);
}

void cross_glyph(cairo_t* cr, double cx, double cy, double s) {
    cairo_move_to(cr, cx - s, cy - s);
    cairo_line_to(cr, cx + s, cy + s);
    cairo_move_to(cr, cx + s, cy - s);
    cairo_line_to(cr, cx - s, cy + s);
}

void bar_glyph(cairo_t* cr, double cx, double cy, double s) {
    cairo_move_to(cr, cx - s, cy);
    cairo_line_to(cr, cx + s, cy);
}

void round_button(const Canvas& c, double cx, double cy, double r, int state, const Glyph& glyph, double glyph_size,
                  double glyph_width) {
    const int W = c.width(), H = c.height();
    cairo_t* cr = c.cr();
    const double ri = r * 0.76;
    Canvas disc = mask_of(W, H, [&](cairo_t* k) { cairo_arc(k, cx, cy, r, 0, 2 * M_PI); });
    if (state == kHover)
        glow(c, disc, 4, hex(0xff9a30), 0, 0, 1.5);
    else
        glow(c, disc, 2.5, hex(0x000000, 0.8), 0, 1);

    // Metal rim; pressed turns the light around so the button looks pushed in.
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    if (state == kPressed)
        fill_with(cr, linear(cx + r, cy + r, cx - r, cy - r, gold_stops(0.75)));
    else
        fill_with(cr, linear(cx - r, cy - r, cx + r, cy + r, gold_stops(state == kHover ? 1.15 : 1.0)));
    Canvas ring = copy_of(disc);
    ring.paint(mask_of(W, H, [&](cairo_t* k) { cairo_arc(k, cx, cy, ri, 0, 2 * M_PI); }), 1.0, CAIRO_OPERATOR_DEST_OUT);
    emboss(c, ring, 1.2, state == kPressed ? 0.6 : 1.2);

    // Face.
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, ri, 0, 2 * M_PI);
    Stops face;
    if (state == kHover)
        face = {{0, hex(0xffb050)}, {0.45, hex(0xd4401a)}, {1, hex(0x5a0e06)}};
    else if (state == kPressed)
        face = {{0, hex(0x3a0a06)}, {0.6, hex(0x1e0503)}, {1, hex(0x0c0202)}};
    else
        face = {{0, hex(0x9a2a16)}, {0.5, hex(0x4a0c08)}, {1, hex(0x180303)}};
    fill_with(cr, radial(cx, cy - ri * 0.45, 0, ri * 1.5, face), true);
    set_color(cr, hex(0x140502, 0.9));
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    if (state == kPressed) {
        // Inner shadow along the top edge.
        cairo_save(cr);
        cairo_arc(cr, cx, cy, ri, 0, 2 * M_PI);
        cairo_clip(cr);
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy + 2, ri, 0, 2 * M_PI);
        cairo_rectangle(cr, 0, 0, W, H);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        set_color(cr, hex(0x000000, 0.6));
        cairo_fill(cr);
        cairo_restore(cr);
    } else {
        // Glass highlight.
        cairo_save(cr);
        cairo_new_path(cr);
        cairo_translate(cr, cx, cy - ri * 0.45);
        cairo_scale(cr, ri * 0.75, ri * 0.42);
        cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(cr);
        fill_with(cr, linear(0, cy - ri, 0, cy, {{0, hex(0xffffff, 0.45)}, {1, hex(0xffffff, 0)}}));
    }
    const double dy = state == kPressed ? 1.0 : 0.0;
    Stops light = state == kHover ? Stops{{0, hex(0xffffff)}, {1, hex(0xfff0c0)}}
                                  : (state == kPressed ? Stops{{0, hex(0xc8a060)}, {1, hex(0x8a6a30)}}
                                                       : Stops{{0, hex(0xfff4d0)}, {1, hex(0xe0b060)}});
    stroke_glyph(cr, glyph, cx, cy + dy, glyph_size, glyph_width, light, hex(0x1a0603, 0.9));
}

// ------------------------------------------------------------ title-bar buttons (25 x 25)

void titlebar_button(const Canvas& c, int state, bool danger, const Glyph& glyph, double size) {
    const int W = c.width(), H = c.height();
    cairo_t* cr = c.cr();
    const double x = 2.5, y = 2.5, s = 20, r = 4;
    Canvas body = mask_of(W, H, [&](cairo_t* k) { rounded_rect(k, x, y, s, s, r); });
    if (state == kHover)
        glow(c, body, 3.5, danger ? hex(0xff5a20) : hex(0xffb040), 0, 0, 1.3);
    else
        glow(c, body, 2, hex(0x000000, 0.7), 0, 1);

    cairo_new_path(cr);
    rounded_rect(cr, x, y, s, s, r);
    if (state == kPressed)
        fill_with(cr, linear(0, y + s, 0, y, gold_stops(0.7)));
    else
        fill_with(cr, linear(0, y, 0, y + s, gold_stops(state == kHover ? 1.1 : 0.9)));
    cairo_new_path(cr);
    rounded_rect(cr, x + 1.8, y + 1.8, s - 3.6, s - 3.6, r - 1.2);
    Stops face;
    if (state == kHover)
        face = danger ? Stops{{0, hex(0xf0602a)}, {0.5, hex(0xb0260e)}, {1, hex(0x5a0a04)}}
                      : Stops{{0, hex(0xa0622a)}, {0.5, hex(0x6a3a16)}, {1, hex(0x2e1608)}};
    else if (state == kPressed)
        face = danger ? Stops{{0, hex(0x2a0604)}, {1, hex(0x5a1006)}} : Stops{{0, hex(0x140c06)}, {1, hex(0x3a2410)}};
    else
        face = danger ? Stops{{0, hex(0x6a1a0e)}, {0.5, hex(0x3a0a06)}, {1, hex(0x1a0403)}}
                      : Stops{{0, hex(0x4a3220)}, {0.5, hex(0x2a1a0e)}, {1, hex(0x140c06)}};
    fill_with(cr, linear(0, y, 0, y + s, face), true);
    set_color(cr, hex(0x120602, 0.9));
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    if (state != kPressed) {
        cairo_new_path(cr);
        rounded_rect(cr, x + 2.5, y + 2.5, s - 5, (s - 5) * 0.45, r - 1.5);
        fill_with(cr, linear(0, y + 2, 0, y + s * 0.5,
                             {{0, hex(0xffffff, state == kHover ? 0.32 : 0.18)}, {1, hex(0xffffff, 0)}}));
    }
    const double d = state == kPressed ? 0.8 : 0.0;
    Stops light = state == kHover ? Stops{{0, hex(0xffffff)}, {1, hex(0xffe7b0)}}
                                  : (state == kPressed ? Stops{{0, hex(0xc09858)}, {1, hex(0x8a6a30)}}
                                                       : Stops{{0, hex(0xfff0c8)}, {1, hex(0xd8aa58)}});
    stroke_glyph(cr, glyph, x + s / 2 + d, y + s / 2 + d, size, 1.7, light, hex(0x120602, 0.85));
}

Canvas titlebar_strip(bool danger, const Glyph& glyph, double size) {
    return strip(25, 25, 3, false, [&](const Canvas& f, int i) { titlebar_button(f, i, danger, glyph, size); });
}

void box_glyph(cairo_t* cr, double cx, double cy, double s) {
    cairo_rectangle(cr, cx - s, cy - s, 2 * s, 2 * s);
    cairo_move_to(cr, cx - s, cy - s + 1.2);
    cairo_line_to(cr, cx + s, cy - s + 1.2);
}

void restore_glyph(cairo_t* cr, double cx, double cy, double s) {
    const double b = s * 0.75;
    // Back window (only its visible edges), then the front window.
    cairo_move_to(cr, cx - b + 2.5, cy - b - 1.5);
    cairo_line_to(cr, cx + b + 1.5, cy - b - 1.5);
    cairo_line_to(cr, cx + b + 1.5, cy + b - 2.5);
    cairo_rectangle(cr, cx - b - 1.0, cy - b + 1.5, 2 * b, 2 * b);
}

void underline_glyph(cairo_t* cr, double cx, double cy, double s) {
    cairo_move_to(cr, cx - s, cy + s * 0.7);
    cairo_line_to(cr, cx + s, cy + s * 0.7);
}

// ------------------------------------------------------------ toolbar buttons (x 22)

struct ToolbarLook {
    double text_left = 0;  // caption box starts here (0: centred on the button)
    bool socket = false;   // a round socket on the left for the spinner
};

void toolbar_button(const Canvas& c, const char* caption, int state, const ToolbarLook& look) {
    const int W = c.width(), H = c.height();
    cairo_t* cr = c.cr();
    const double x = 0.5, y = 0.5, w = W - 1.0, h = H - 1.0, r = 4.5;
    cairo_new_path(cr);
    rounded_rect(cr, x, y, w, h, r);
    fill_with(cr, linear(0, y, 0, y + h, gold_stops(state == kHover ? 1.1 : 0.85)));
    auto inner = [&](cairo_t* k) { rounded_rect(k, x + 1.5, y + 1.5, w - 3, h - 3, r - 1); };
    cairo_new_path(cr);
    inner(cr);
    if (state == kHover) {
        fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0x9a4a1c)}, {0.5, hex(0x64260c)}, {1, hex(0x2e0e05)}}), true);
        fill_with(cr, radial(W / 2.0, H * 0.7, 0, W * 0.55, {{0, hex(0xffa040, 0.55)}, {1, hex(0xff7020, 0)}}), true);
    } else {
        fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0x4e2e1a)}, {0.5, hex(0x2a160c)}, {1, hex(0x120905)}}), true);
    }
    set_color(cr, hex(0x120602, 0.9));
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    // Gloss.
    cairo_new_path(cr);
    rounded_rect(cr, x + 2.5, y + 2.2, w - 5, h * 0.42, r - 2);
    fill_with(cr, linear(0, y + 2, 0, y + h * 0.5,
                         {{0, hex(0xffffff, state == kHover ? 0.28 : 0.15)}, {1, hex(0xffffff, 0)}}));
    if (look.socket) {
        // Recess where the spinner turns (the spinner is drawn at 4,4 .. 20,20).
        cairo_new_path(cr);
        cairo_arc(cr, 12, 11.5, 8.2, 0, 2 * M_PI);
        fill_with(cr, radial(12, 10, 0, 9, {{0, hex(0x0a0503)}, {0.8, hex(0x1a0e06)}, {1, hex(0x3a2412)}}), true);
        set_color(cr, hex(0xc89848, 0.7));
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
    }
    const double left = look.text_left > 0 ? look.text_left : 0;
    draw_text(c, caption, small_caption(state), (left + W) / 2.0, H / 2.0);
}

Canvas toolbar_strip(int w, const char* caption, const ToolbarLook& look = {}) {
    return strip(w, 22, 2, true, [&](const Canvas& f, int i) { toolbar_button(f, caption, i, look); });
}

// ------------------------------------------------------------ VIP button

void crown(cairo_t* cr, double x, double y, double s) {
    cairo_move_to(cr, x, y + s * 0.85);
    cairo_line_to(cr, x - s * 0.05, y + s * 0.2);
    cairo_line_to(cr, x + s * 0.27, y + s * 0.5);
    cairo_line_to(cr, x + s * 0.5, y);
    cairo_line_to(cr, x + s * 0.73, y + s * 0.5);
    cairo_line_to(cr, x + s * 1.05, y + s * 0.2);
    cairo_line_to(cr, x + s, y + s * 0.85);
    cairo_close_path(cr);
}

Canvas vip_button(bool hover) {
    Canvas c(75, 22);
    const int W = c.width(), H = c.height();
    cairo_t* cr = c.cr();
    const double x = 0.5, y = 0.5, w = W - 1.0, h = H - 1.0, r = 4.5;
    cairo_new_path(cr);
    rounded_rect(cr, x, y, w, h, r);
    fill_with(cr, linear(0, y, 0, y + h, gold_stops(hover ? 1.15 : 0.95)));
    cairo_new_path(cr);
    rounded_rect(cr, x + 1.5, y + 1.5, w - 3, h - 3, r - 1);
    if (hover) {
        fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0x9a3ad0)}, {0.5, hex(0x5a1a8a)}, {1, hex(0x260a40)}}), true);
        fill_with(cr, radial(W / 2.0, H * 0.6, 0, W * 0.55, {{0, hex(0xffb0ff, 0.45)}, {1, hex(0xc050ff, 0)}}), true);
    } else {
        fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0x5a2284)}, {0.5, hex(0x32104e)}, {1, hex(0x160622)}}), true);
    }
    set_color(cr, hex(0x100418, 0.9));
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    cairo_new_path(cr);
    rounded_rect(cr, x + 2.5, y + 2.2, w - 5, h * 0.42, r - 2);
    fill_with(cr, linear(0, y + 2, 0, y + h * 0.5, {{0, hex(0xffffff, hover ? 0.3 : 0.16)}, {1, hex(0xffffff, 0)}}));
    // Crown.
    cairo_new_path(cr);
    crown(cr, 6, 6.5, 10);
    fill_with(cr, linear(0, 6, 0, 15, gold_stops(hover ? 1.2 : 1.0)), true);
    set_color(cr, hex(0x1a0a04, 0.9));
    cairo_set_line_width(cr, 0.7);
    cairo_stroke(cr);
    TextStyle s = small_caption(hover ? kHover : kNormal);
    if (hover) s.glow = hex(0xe080ff, 0.8);
    draw_text(c, "VIP客服", s, (18 + W) / 2.0, H / 2.0);
    return c;
}

}  // namespace

// ------------------------------------------------------------ public pictures

Canvas picture_site_button() { return launcher_link("官方网站"); }
Canvas picture_payment_button() { return launcher_link("充值中心"); }
Canvas picture_forum_button() { return launcher_link("游戏论坛"); }
Canvas picture_service_button() { return launcher_link("客服中心"); }

Canvas picture_launcher_close() {
    return strip(35, 34, 3, true,
                 [](const Canvas& f, int i) { round_button(f, 17.5, 17, 14.2, i, cross_glyph, 4.6, 2.6); });
}

Canvas picture_launcher_minimise() {
    return strip(27, 28, 3, true,
                 [](const Canvas& f, int i) { round_button(f, 13.5, 14, 11.2, i, bar_glyph, 4.2, 2.4); });
}

Canvas picture_close_button() { return titlebar_strip(true, cross_glyph, 4.2); }
Canvas picture_maximise_button() { return titlebar_strip(false, box_glyph, 4.8); }
Canvas picture_minimise_button() { return titlebar_strip(false, underline_glyph, 5.0); }
Canvas picture_restore_button() { return titlebar_strip(false, restore_glyph, 5.0); }

Canvas picture_server_button() { return toolbar_strip(65, "选服"); }
Canvas picture_boss_button() { return toolbar_strip(65, "老板键"); }
Canvas picture_clear_button() { return toolbar_strip(75, "清除缓存"); }
Canvas picture_pay_button() { return toolbar_strip(75, "扫码支付"); }
Canvas picture_clearing_button() {
    ToolbarLook look;
    look.text_left = 21;
    look.socket = true;
    return toolbar_strip(75, "正在清理", look);
}

Canvas picture_vip_hover() { return vip_button(true); }
Canvas picture_vip_normal() { return vip_button(false); }

Canvas picture_spinner() {
    // A ring of eight segments; a bright head runs round it. Every segment is
    // opaque in every frame and the shape never changes, so the frames can be
    // drawn over one another without leaving traces.
    return strip(16, 16, 8, false, [](const Canvas& f, int frame) {
        cairo_t* cr = f.cr();
        const double cx = 8, cy = 8, ro = 7.2, ri = 3.9;
        for (int seg = 0; seg < 8; ++seg) {
            const int age = (frame - seg + 8) % 8;  // 0 = head
            const double t = age / 7.0;
            const Rgba col = age == 0 ? hex(0xfffbe0)
                                      : mix(mix(hex(0xffc64a), hex(0xe0641a), std::min(1.0, t * 2)), hex(0x3a2210),
                                            std::max(0.0, t * 1.3 - 0.3));
            const double a0 = -M_PI / 2 + seg * M_PI / 4 + 0.09;
            const double a1 = a0 + M_PI / 4 - 0.18;
            cairo_new_path(cr);
            cairo_arc(cr, cx, cy, ro, a0, a1);
            cairo_arc_negative(cr, cx, cy, ri, a1, a0);
            cairo_close_path(cr);
            set_color(cr, col);
            cairo_fill_preserve(cr);
            set_color(cr, hex(0x1a0c04));
            cairo_set_line_width(cr, 0.6);
            cairo_stroke(cr);
        }
    });
}

Canvas picture_bind_animation() {
    return strip(136, 22, 9, true, [](const Canvas& c, int frame) {
        const int W = c.width(), H = c.height();
        cairo_t* cr = c.cr();
        const double x = 0.5, y = 0.5, w = W - 1.0, h = H - 1.0, r = 5;
        auto body = [&](cairo_t* k) { rounded_rect(k, x, y, w, h, r); };
        cairo_new_path(cr);
        body(cr);
        fill_with(cr, linear(0, y, 0, y + h, gold_stops(1.05)));
        auto inner = [&](cairo_t* k) { rounded_rect(k, x + 1.5, y + 1.5, w - 3, h - 3, r - 1); };
        cairo_new_path(cr);
        inner(cr);
        fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0xe0641e)}, {0.5, hex(0xa02a0c)}, {1, hex(0x4a0c04)}}), true);
        set_color(cr, hex(0x1a0603, 0.9));
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
        // The shimmer: a slanted band of light sweeping left to right.
        const double band = -26 + frame * (W + 40) / 8.0;
        cairo_save(cr);
        cairo_new_path(cr);
        inner(cr);
        cairo_clip(cr);
        cairo_new_path(cr);
        cairo_move_to(cr, band, 0);
        cairo_line_to(cr, band + 16, 0);
        cairo_line_to(cr, band + 6, H);
        cairo_line_to(cr, band - 10, H);
        cairo_close_path(cr);
        fill_with(cr, linear(band - 10, 0, band + 16, 0,
                             {{0, hex(0xffffff, 0)}, {0.5, hex(0xfff6d0, 0.7)}, {1, hex(0xffffff, 0)}}));
        cairo_rectangle(cr, 0, 0, W, H * 0.45);
        fill_with(cr, linear(0, 0, 0, H * 0.45, {{0, hex(0xffffff, 0.3)}, {1, hex(0xffffff, 0)}}));
        cairo_restore(cr);
        // Shield with a gold check at the left.
        cairo_new_path(cr);
        cairo_move_to(cr, 6, 5);
        cairo_line_to(cr, 12, 3.5);
        cairo_line_to(cr, 18, 5);
        cairo_curve_to(cr, 18, 12, 15, 16, 12, 18.5);
        cairo_curve_to(cr, 9, 16, 6, 12, 6, 5);
        cairo_close_path(cr);
        fill_with(cr, linear(0, 3, 0, 19, gold_stops(1.1)), true);
        set_color(cr, hex(0x1a0603, 0.9));
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
        cairo_new_path(cr);
        cairo_move_to(cr, 9, 10.5);
        cairo_line_to(cr, 11.5, 13);
        cairo_line_to(cr, 15.5, 7.5);
        set_color(cr, hex(0x6a1206));
        cairo_set_line_width(cr, 1.8);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(cr);
        // Caption; the letters catch the light as the band passes.
        TextStyle s = small_caption(kNormal);
        s.fill = {{0, hex(0xffffff)}, {1, hex(0xffe2a0)}};
        draw_text(c, "立即绑定账号", s, (21 + W) / 2.0, H / 2.0);
        Canvas shine(W, H);
        {
            cairo_t* k = shine.cr();
            cairo_move_to(k, band, 0);
            cairo_line_to(k, band + 16, 0);
            cairo_line_to(k, band + 6, H);
            cairo_line_to(k, band - 10, H);
            cairo_close_path(k);
            fill_with(k, linear(band - 10, 0, band + 16, 0,
                                {{0, hex(0xffffff, 0)}, {0.5, hex(0xffffff, 1)}, {1, hex(0xffffff, 0)}}));
        }
        Canvas letters(W, H);
        TextStyle bright = s;
        bright.outline_width = 0;
        bright.fill = {{0, hex(0xffffff)}, {1, hex(0xffffff)}};
        draw_text(letters, "立即绑定账号", bright, (21 + W) / 2.0, H / 2.0);
        clip_to(letters, shine);
        c.paint(letters);
        // A small sparkle rides with the band.
        cairo_new_path(cr);
        sparkle(cr, band + 5, 5, 4.5, 0.7);
        set_color(cr, hex(0xffffff, 0.9));
        cairo_fill(cr);
    });
}

// ------------------------------------------------------------ boss-key dialog pieces

Canvas picture_boss_close() {
    return strip(11, 11, 3, true, [](const Canvas& c, int state) {
        cairo_t* cr = c.cr();
        Stops light = state == kHover ? Stops{{0, hex(0xffffff)}, {1, hex(0xffa060)}}
                                      : (state == kPressed ? Stops{{0, hex(0xc0502a)}, {1, hex(0x8a2a10)}}
                                                           : Stops{{0, hex(0xfff0c8)}, {1, hex(0xd0a050)}});
        stroke_glyph(cr, cross_glyph, 5.5, 5.5, 2.9, 1.5, light, hex(0x120602, 0.85));
    });
}

Canvas picture_boss_confirm() {
    return strip(60, 21, 2, true, [](const Canvas& c, int state) {
        const int W = c.width(), H = c.height();
        cairo_t* cr = c.cr();
        const double x = 0.5, y = 0.5, w = W - 1.0, h = H - 1.0;
        cairo_new_path(cr);
        banner_shape(cr, x, y, w, h, 6);
        fill_with(cr, linear(0, y, 0, y + h, gold_stops(state == kHover ? 1.15 : 0.95)));
        cairo_new_path(cr);
        banner_shape(cr, x + 2, y + 2, w - 4, h - 4, 5);
        if (state == kHover) {
            fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0xd0501e)}, {0.5, hex(0x8a240c)}, {1, hex(0x3e0a04)}}), true);
        } else {
            fill_with(cr, linear(0, y, 0, y + h, {{0, hex(0x6a1e10)}, {0.5, hex(0x3a0c06)}, {1, hex(0x1a0403)}}), true);
        }
        set_color(cr, hex(0x120602, 0.9));
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, 6, 2.5, W - 12, h * 0.42);
        fill_with(cr,
                  linear(0, 2, 0, H * 0.5, {{0, hex(0xffffff, state == kHover ? 0.3 : 0.16)}, {1, hex(0xffffff, 0)}}));
        TextStyle s = small_caption(state);
        s.letter_spacing_px = 3;
        draw_text(c, "确定", s, W / 2.0 + 1.5, H / 2.0);
    });
}

}  // namespace skin
