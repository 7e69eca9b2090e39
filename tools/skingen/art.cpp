#include "art.hpp"

#include <algorithm>
#include <cmath>

namespace skin {

void dragon_head_path(cairo_t* cr) {
    // Upper jaw and snout, from the tip backwards over the brow.
    cairo_move_to(cr, 97, 57);
    cairo_curve_to(cr, 96, 51, 91, 48, 85, 48);
    cairo_curve_to(cr, 82, 44, 78, 44, 75, 45);  // nostril ridge
    cairo_curve_to(cr, 72, 42, 69, 39, 65, 38);
    // Brow spike.
    cairo_line_to(cr, 68, 30);
    cairo_line_to(cr, 58, 35);
    // Main horn sweeping back and up.
    cairo_curve_to(cr, 52, 22, 36, 10, 10, 4);
    cairo_curve_to(cr, 30, 14, 40, 26, 44, 39);
    // Second, shorter horn.
    cairo_curve_to(cr, 34, 32, 24, 30, 12, 32);
    cairo_curve_to(cr, 24, 37, 32, 42, 38, 47);
    // Frill spikes down the back of the neck.
    cairo_line_to(cr, 22, 52);
    cairo_line_to(cr, 35, 58);
    cairo_line_to(cr, 20, 68);
    cairo_line_to(cr, 33, 71);
    cairo_line_to(cr, 22, 84);
    cairo_curve_to(cr, 28, 88, 30, 94, 30, 99);
    // Neck front up to the throat.
    cairo_line_to(cr, 56, 99);
    cairo_curve_to(cr, 54, 88, 56, 78, 62, 71);
    // Beard spike under the jaw.
    cairo_line_to(cr, 63, 80);
    cairo_line_to(cr, 69, 70);
    cairo_line_to(cr, 73, 75);
    cairo_line_to(cr, 77, 68);
    // Lower jaw to the chin, then the mouth line back and out to the upper lip.
    cairo_curve_to(cr, 82, 67, 88, 66, 91, 64);
    cairo_line_to(cr, 78, 61);
    cairo_line_to(cr, 95, 60);
    cairo_close_path(cr);
}

namespace {

Pt bezier(Pt a, Pt b, Pt c, Pt d, double t) {
    const double u = 1 - t;
    return {u * u * u * a.x + 3 * u * u * t * b.x + 3 * u * t * t * c.x + t * t * t * d.x,
            u * u * u * a.y + 3 * u * u * t * b.y + 3 * u * t * t * c.y + t * t * t * d.y};
}

}  // namespace

void tapered_curve(cairo_t* cr, Pt p0, Pt p1, Pt p2, Pt p3, double w0, double w1) {
    constexpr int kSteps = 40;
    std::vector<Pt> left, right;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps;
        const Pt a = bezier(p0, p1, p2, p3, std::max(0.0, t - 0.01));
        const Pt b = bezier(p0, p1, p2, p3, std::min(1.0, t + 0.01));
        const Pt p = bezier(p0, p1, p2, p3, t);
        double dx = b.x - a.x, dy = b.y - a.y;
        const double len = std::hypot(dx, dy);
        if (len > 0) dx /= len, dy /= len;
        const double hw = (w0 + (w1 - w0) * t) / 2;
        left.push_back({p.x - dy * hw, p.y + dx * hw});
        right.push_back({p.x + dy * hw, p.y - dx * hw});
    }
    cairo_new_sub_path(cr);
    cairo_move_to(cr, left.front().x, left.front().y);
    for (const Pt& p : left) cairo_line_to(cr, p.x, p.y);
    for (auto it = right.rbegin(); it != right.rend(); ++it) cairo_line_to(cr, it->x, it->y);
    cairo_close_path(cr);
}

void curl(cairo_t* cr, double cx, double cy, double r, double turns, double w0, int sign, double start_angle,
          bool pointed_start) {
    constexpr int kSteps = 80;
    std::vector<Pt> outer, inner;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps;
        const double ang = start_angle + sign * turns * 2 * M_PI * t;
        const double rad = r * (1 - 0.8 * t);
        double hw = w0 * (1 - 0.85 * t) / 2;
        if (pointed_start) hw *= std::min(1.0, std::sqrt(t / 0.3));
        outer.push_back({cx + std::cos(ang) * (rad + hw), cy + std::sin(ang) * (rad + hw)});
        inner.push_back({cx + std::cos(ang) * (rad - hw), cy + std::sin(ang) * (rad - hw)});
    }
    cairo_new_sub_path(cr);
    cairo_move_to(cr, outer.front().x, outer.front().y);
    for (const Pt& p : outer) cairo_line_to(cr, p.x, p.y);
    for (auto it = inner.rbegin(); it != inner.rend(); ++it) cairo_line_to(cr, it->x, it->y);
    cairo_close_path(cr);
}

void wing_path(cairo_t* cr) {
    cairo_move_to(cr, 0, 6);
    // Arm up to the wrist.
    cairo_curve_to(cr, -30, -40, -70, -100, -112, -118);
    // Leading finger out to the tip.
    cairo_curve_to(cr, -170, -150, -260, -152, -335, -118);
    // Scalloped trailing edge between the finger tips.
    cairo_curve_to(cr, -300, -100, -290, -70, -300, -38);
    cairo_curve_to(cr, -265, -28, -245, -5, -238, 22);
    cairo_curve_to(cr, -200, 12, -165, 20, -140, 44);
    cairo_curve_to(cr, -105, 22, -60, 18, -20, 34);
    cairo_close_path(cr);
}

void wing_bones_path(cairo_t* cr) {
    const Pt wrist{-112, -118};
    tapered_curve(cr, {0, 2}, {-30, -40}, {-70, -100}, wrist, 13, 8);
    tapered_curve(cr, wrist, {-170, -150}, {-260, -152}, {-337, -118}, 8, 1.5);
    tapered_curve(cr, wrist, {-170, -110}, {-250, -80}, {-302, -38}, 6, 1.5);
    tapered_curve(cr, wrist, {-160, -80}, {-210, -30}, {-239, 22}, 6, 1.5);
    tapered_curve(cr, wrist, {-130, -60}, {-140, 0}, {-141, 44}, 5, 1.5);
    // Thumb claw at the wrist.
    tapered_curve(cr, wrist, {-112, -135}, {-100, -150}, {-86, -156}, 9, 0.5);
}

Rgba stone_texel(int x, int y, uint32_t seed, const Rgba& base) {
    const double n = fbm(x / 46.0, y / 46.0, 5, seed);
    const double ridge = 1.0 - std::fabs(2.0 * fbm(x / 30.0 + 7.0, y / 30.0, 4, seed + 7) - 1.0);
    const double grain = value_noise(x / 1.7, y / 1.7, seed + 31) - 0.5;
    double k = 0.72 + 0.62 * n + 0.10 * grain;
    if (ridge > 0.94) k *= 0.72 + (1.0 - ridge) * 4.6;  // hairline cracks
    Rgba c = base;
    c.r = std::clamp(c.r * k, 0.0, 1.0);
    c.g = std::clamp(c.g * k, 0.0, 1.0);
    c.b = std::clamp(c.b * k, 0.0, 1.0);
    return c;
}

void draw_gem(cairo_t* cr, double cx, double cy, double r, const Rgba& core) {
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, cx, cy - r);
    cairo_line_to(cr, cx + r, cy);
    cairo_line_to(cr, cx, cy + r);
    cairo_line_to(cr, cx - r, cy);
    cairo_close_path(cr);
    fill_with(cr, linear(cx - r, cy - r, cx + r, cy + r, gold_stops()), true);
    set_color(cr, hex(0x1a0c04, 0.9));
    cairo_set_line_width(cr, std::max(0.6, r * 0.14));
    cairo_stroke(cr);
    const double ri = r * 0.55;
    cairo_move_to(cr, cx, cy - ri);
    cairo_line_to(cr, cx + ri, cy);
    cairo_line_to(cr, cx, cy + ri);
    cairo_line_to(cr, cx - ri, cy);
    cairo_close_path(cr);
    fill_with(cr, radial(cx - ri * 0.3, cy - ri * 0.3, 0, ri * 1.3,
                         {{0, mix(core, hex(0xffffff), 0.6)}, {0.5, core}, {1, mix(core, hex(0x000000), 0.6)}}));
    cairo_restore(cr);
}

void draw_medallion(const Canvas& dst, double cx, double cy, double r, int detail) {
    const int w = dst.width(), h = dst.height();
    cairo_t* cr = dst.cr();
    const double ri = r * (detail == 0 ? 0.74 : 0.79);
    auto disc = [&](double rad) { return [cx, cy, rad](cairo_t* c) { cairo_arc(c, cx, cy, rad, 0, 2 * M_PI); }; };
    Canvas outer = mask_of(w, h, disc(r));
    if (detail > 0) glow(dst, outer, r * 0.12, hex(0x000000, 0.8), 0, r * 0.04);

    // Gold rim.
    cairo_save(cr);
    cairo_new_path(cr);
    disc(r)(cr);
    fill_with(cr, linear(cx - r, cy - r, cx + r, cy + r, gold_stops()));
    cairo_restore(cr);
    if (detail > 0) {
        Canvas ring = copy_of(outer);
        Canvas hole = mask_of(w, h, disc(ri));
        ring.paint(hole, 1.0, CAIRO_OPERATOR_DEST_OUT);
        emboss(dst, ring, r * 0.05, 1.4);
    }
    if (detail >= 2) {
        // Rivets around the rim.
        for (int i = 0; i < 16; ++i) {
            const double a = i * M_PI / 8 + M_PI / 16;
            const double rr = (r + ri) / 2;
            const double px = cx + std::cos(a) * rr, py = cy + std::sin(a) * rr;
            cairo_new_path(cr);
            cairo_arc(cr, px, py, r * 0.035, 0, 2 * M_PI);
            fill_with(cr, radial(px - r * 0.01, py - r * 0.01, 0, r * 0.04,
                                 {{0, hex(0xfff6d0)}, {0.6, hex(0xc08a30)}, {1, hex(0x5a3a10)}}));
        }
    }
    // Dark ring between rim and field.
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, ri + r * 0.015, 0, 2 * M_PI);
    set_color(cr, hex(0x1a0804, 0.95));
    cairo_set_line_width(cr, std::max(1.0, r * 0.04));
    cairo_stroke(cr);

    // Crimson field.
    cairo_new_path(cr);
    disc(ri)(cr);
    if (detail == 2)
        fill_with(cr, radial(cx, cy - ri * 0.35, 0, ri * 1.25,
                             {{0, hex(0x9a2614)}, {0.45, hex(0x4e0c08)}, {1, hex(0x140202)}}));
    else
        fill_with(
            cr, radial(cx, cy - ri * 0.3, 0, ri * 1.2, {{0, hex(0x7a1a0e)}, {0.5, hex(0x3a0806)}, {1, hex(0x0e0101)}}));
    if (detail > 0) {
        // The field is sunk: shade its upper edge.
        Canvas field = mask_of(w, h, disc(ri));
        emboss(dst, field, r * 0.06, 1.0, hex(0x000000, 0.9), hex(0xff8a40, 0.5));
    }

    // Golden dragon head; on small sizes larger, brighter and outlined so it
    // still reads as a head.
    const double scale = ri * (detail == 2 ? 1.70 : 1.86) / 100.0;
    const double hx = cx - 50 * scale - ri * 0.06, hy = cy - (detail == 2 ? 54 : 52) * scale;
    auto head = [&](cairo_t* c) {
        cairo_save(c);
        cairo_translate(c, hx, hy);
        cairo_scale(c, scale, scale);
        dragon_head_path(c);
        cairo_restore(c);
    };
    auto inField = [&](cairo_t* c) { cairo_arc(c, cx, cy, ri - r * 0.015, 0, 2 * M_PI); };
    Canvas headMask = mask_of(w, h, [&](cairo_t* c) {
        cairo_save(c);
        inField(c);
        cairo_clip(c);
        head(c);
        cairo_fill(c);
        cairo_restore(c);
    });
    glow(dst, headMask, std::max(1.0, r * 0.06), hex(0x000000, 0.85), r * 0.015, r * 0.03, detail == 0 ? 1.5 : 1.0);
    {
        Canvas gold(w, h);
        cairo_t* g = gold.cr();
        cairo_rectangle(g, 0, 0, w, h);
        if (detail == 2)
            fill_with(g, linear(cx - ri, cy - ri, cx + ri * 0.6, cy + ri, gold_stops()));
        else
            fill_with(g,
                      linear(0, cy - ri, 0, cy + ri, {{0, hex(0xfff6c8)}, {0.45, hex(0xf8cc5a)}, {1, hex(0xc8841e)}}));
        clip_to(gold, headMask);
        dst.paint(gold);
    }
    if (detail > 0) emboss(dst, headMask, std::max(0.8, r * 0.025), 1.6);
    // Ember eye.
    const double ex = hx + kDragonEye.x * scale, ey = hy + kDragonEye.y * scale;
    const double er = std::max(0.9, 4.2 * scale);
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, ex, ey);
    cairo_scale(cr, 1.0, 0.55);
    cairo_arc(cr, 0, 0, er, 0, 2 * M_PI);
    cairo_restore(cr);
    fill_with(cr, radial(ex, ey, 0, er, {{0, hex(0xfff2a0)}, {0.5, hex(0xff7a1a)}, {1, hex(0xa01800)}}));
    if (detail >= 2) {
        Canvas eyeGlow = mask_of(w, h, [&](cairo_t* c) { cairo_arc(c, ex, ey, er * 1.2, 0, 2 * M_PI); });
        glow(dst, eyeGlow, er * 2.5, hex(0xff6a10, 0.9), 0, 0, 1.5);
        // A glint on the rim.
        cairo_new_path(cr);
        sparkle(cr, cx - r * 0.52, cy - r * 0.62, r * 0.13, r * 0.02);
        set_color(cr, hex(0xffffff, 0.9));
        cairo_fill(cr);
    }
}

}  // namespace skin
