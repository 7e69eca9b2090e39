// Over 500 lines: the launcher picture is one drawing, layer by layer; splitting it would scatter its coordinates.
// The launcher background (resource 149): a stone and gold frame around the
// black page area, dragon wings and a gem crest on top, the game's emblem and
// title on the left, horns and spikes breaking the outline, and embers. All
// outside the artwork is fully transparent; the page area is opaque black.
#include <algorithm>
#include <cmath>

#include "art.hpp"
#include "pictures.hpp"
#include "shared/launcher_layout.h"

namespace skin {

namespace {

constexpr int W = 1290, H = 704;

namespace layout = shared::launcher_layout;

// Page area (opaque black, covered by the page window): the launcher's web area.
constexpr int kPageL = layout::kWebArea.left, kPageT = layout::kWebArea.top;
constexpr int kPageR = layout::kWebArea.right, kPageB = layout::kWebArea.bottom;
// Outer body of the frame.
constexpr double kFrameX = 298, kFrameY = 112, kFrameW = 888, kFrameH = 522, kFrameCut = 30;
// The slot in which the four link buttons sit: 11 pixels left of the first, 6 above them and
// right of the last.
constexpr double kSlotX = layout::ButtonRect(layout::kOfficial).left - 11;
constexpr double kSlotY = layout::ButtonRect(layout::kOfficial).top - 6;
constexpr double kSlotR = layout::ButtonRect(layout::kService).right + 6;
// The crest, centred between the payment and forum buttons.
constexpr double kCrestX = (layout::ButtonRect(layout::kPay).right + layout::ButtonRect(layout::kForum).left) / 2.0;
constexpr double kCrestY = 126;
// The emblem on the left.
constexpr double kEmblemX = 172, kEmblemY = 232, kEmblemR = 118;

const Rgba kStoneBase = hex(0x3b322a);

Canvas path_mask(const PathFn& fn) { return mask_of(W, H, fn); }

// Paints `mask` filled with a linear gradient onto `dst`.
void paint_gradient(const Canvas& dst, const Canvas& mask, cairo_pattern_t* pattern) {
    Canvas fill(W, H);
    cairo_rectangle(fill.cr(), 0, 0, W, H);
    fill_with(fill.cr(), pattern);
    clip_to(fill, mask);
    dst.paint(fill);
}

// A bevelled gold piece: gradient fill, drop shadow, emboss.
void gold_piece(const Canvas& dst, const Canvas& mask, double x0, double y0, double x1, double y1, double bevel,
                double shadow = 3, double bright = 1.0) {
    if (shadow > 0) glow(dst, mask, shadow, hex(0x000000, 0.85), 0, shadow * 0.5);
    paint_gradient(dst, mask, linear(x0, y0, x1, y1, gold_stops(bright)));
    emboss(dst, mask, bevel, 1.3);
}

// Ivory horn with dark rings: tapered curve, shaded along its length.
void horn(const Canvas& dst, Pt p0, Pt p1, Pt p2, Pt p3, double w0) {
    Canvas m = path_mask([&](cairo_t* k) { tapered_curve(k, p0, p1, p2, p3, w0, 1.0); });
    glow(dst, m, 4, hex(0x000000, 0.8), 1, 2);
    paint_gradient(dst, m,
                   linear(p0.x, p0.y, p3.x, p3.y,
                          {{0, hex(0x4a3a2a)}, {0.35, hex(0xb8a07a)}, {0.75, hex(0xeadcb8)}, {1, hex(0xfff6e0)}}));
    // Growth ridges across the horn.
    Canvas rings(W, H);
    {
        cairo_t* k = rings.cr();
        auto at = [&](double t) {
            const double u = 1 - t;
            return Pt{u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                      u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y};
        };
        for (int i = 1; i < 12; ++i) {
            const double t = i / 13.0;
            const Pt p = at(t), a = at(t - 0.01), b = at(t + 0.01);
            double dx = b.x - a.x, dy = b.y - a.y;
            const double len = std::hypot(dx, dy);
            dx /= len, dy /= len;
            const double half = w0 * (1 - t) * 0.5 + 1.5;
            cairo_new_path(k);
            cairo_move_to(k, p.x - dy * half, p.y + dx * half);
            cairo_curve_to(k, p.x - dy * half * 0.3 + dx * 2.5, p.y + dx * half * 0.3 + dy * 2.5,
                           p.x + dy * half * 0.3 + dx * 2.5, p.y - dx * half * 0.3 + dy * 2.5, p.x + dy * half,
                           p.y - dx * half);
            set_color(k, hex(0x3a2816, 0.45));
            cairo_set_line_width(k, 1.4);
            cairo_stroke(k);
        }
    }
    clip_to(rings, m);
    dst.paint(rings);
    emboss(dst, m, 3, 1.2);
}

// Bronze spikes radiating from a circle, leaving out the top (where horns sit).
void spike_ring(const Canvas& dst, double cx, double cy, double r0, double r1, int count, double half_width) {
    Canvas spikes = path_mask([&](cairo_t* k) {
        for (int i = 0; i < count; ++i) {
            const double a = M_PI / count + i * 2 * M_PI / count;
            if (std::sin(a) < -0.5) continue;
            const double ca = std::cos(a), sa = std::sin(a);
            cairo_new_sub_path(k);
            cairo_move_to(k, cx + ca * r0 - sa * half_width, cy + sa * r0 + ca * half_width);
            cairo_line_to(k, cx + ca * r1, cy + sa * r1);
            cairo_line_to(k, cx + ca * r0 + sa * half_width, cy + sa * r0 - ca * half_width);
            cairo_close_path(k);
        }
    });
    glow(dst, spikes, 4, hex(0x000000, 0.8), 0, 2);
    paint_gradient(dst, spikes, linear(cx - r1, cy - r1, cx + r1, cy + r1, bronze_stops()));
    emboss(dst, spikes, 2, 1.4);
}

// ------------------------------------------------------------ pieces

void draw_wings(const Canvas& art) {
    for (int side : {-1, 1}) {
        const double rootX = kCrestX + side * 36.0, rootY = kCrestY + 6;
        const double s = 0.80;
        auto place = [&](cairo_t* k) {
            cairo_translate(k, rootX, rootY);
            cairo_scale(k, side < 0 ? s : -s, s);
        };
        Canvas membrane = path_mask([&](cairo_t* k) {
            place(k);
            wing_path(k);
        });
        Canvas bones = path_mask([&](cairo_t* k) {
            place(k);
            wing_bones_path(k);
        });
        glow(art, membrane, 6, hex(0x000000, 0.7), 0, 3);
        const uint32_t seed = side < 0 ? 301 : 302;
        texture_into(art, membrane, [&](int x, int y) {
            const double n = fbm(x / 30.0, y / 30.0, 4, seed);
            const double vein = 1.0 - std::fabs(2 * fbm(x / 22.0, y / 60.0, 3, seed + 5) - 1);
            Rgba c = mix(hex(0x240806), hex(0x5e180e), n);
            if (vein > 0.95) c = mix(c, hex(0x7a2c16), (vein - 0.95) * 8);
            // Darker toward the root and the lower edge, warmer toward the tips.
            const double reach = std::clamp(std::fabs(x - rootX) / 270.0, 0.0, 1.0);
            const double low = std::clamp((y - (rootY - 120)) / 160.0, 0.0, 1.0);
            c = mix(c, hex(0x0a0202), 0.35 * (1 - reach) + 0.3 * low);
            return mix(c, hex(0xa03a18), 0.14 * reach);
        });
        emboss(art, membrane, 4, 0.8, hex(0xffb080, 0.8), hex(0x000000, 0.9));
        glow(art, bones, 2, hex(0x000000, 0.9), 0, 1.5);
        paint_gradient(art, bones, linear(rootX, rootY - 130, rootX, rootY + 30, bronze_stops()));
        emboss(art, bones, 1.6, 1.6);
    }
}

void draw_frame_body(const Canvas& art) {
    auto outer = [](cairo_t* k, double inset) {
        chamfer_rect(k, kFrameX + inset, kFrameY + inset, kFrameW - 2 * inset, kFrameH - 2 * inset,
                     kFrameCut - inset * 0.4);
    };
    Canvas body = path_mask([&](cairo_t* k) { outer(k, 0); });
    glow(art, body, 10, hex(0x000000, 0.9), 0, 5);
    texture_into(art, body, [](int x, int y) { return stone_texel(x, y, 5, kStoneBase); });
    // Shade: lighter at the top, darker at the bottom.
    paint_gradient(art, body,
                   linear(0, kFrameY, 0, kFrameY + kFrameH,
                          {{0, hex(0xffe0b0, 0.10)}, {0.5, hex(0x000000, 0.0)}, {1, hex(0x000000, 0.35)}}));
    emboss(art, body, 9, 0.9, hex(0xffe8c0, 0.9), hex(0x000000, 1.0));

    // Outer gold rim.
    Canvas rim = path_mask([&](cairo_t* k) {
        outer(k, 7);
        outer(k, 13);
        cairo_set_fill_rule(k, CAIRO_FILL_RULE_EVEN_ODD);
    });
    gold_piece(art, rim, kFrameX, kFrameY, kFrameX + 300, kFrameY + kFrameH, 1.8, 2);
    // Thin inner bronze line.
    cairo_t* cr = art.cr();
    cairo_new_path(cr);
    outer(cr, 17.5);
    set_color(cr, hex(0xb08040, 0.55));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    // Gold moulding round the page.
    Canvas moulding = path_mask([](cairo_t* k) {
        rounded_rect(k, kPageL - 15, kPageT - 15, kPageR - kPageL + 30, kPageB - kPageT + 30, 6);
        cairo_rectangle(k, kPageL - 1, kPageT - 1, kPageR - kPageL + 2, kPageB - kPageT + 2);
        cairo_set_fill_rule(k, CAIRO_FILL_RULE_EVEN_ODD);
    });
    gold_piece(art, moulding, kPageL, kPageT - 15, kPageL + 200, kPageB + 15, 2.6, 4);
    // Groove in the middle of the moulding.
    cairo_new_path(cr);
    rounded_rect(cr, kPageL - 8.5, kPageT - 8.5, kPageR - kPageL + 17, kPageB - kPageT + 17, 4);
    set_color(cr, hex(0x3a2208, 0.75));
    cairo_set_line_width(cr, 1.4);
    cairo_stroke(cr);
}

void draw_frame_ornaments(const Canvas& art) {
    cairo_t* cr = art.cr();
    // Studs along the side bands.
    Canvas studs = path_mask([](cairo_t* k) {
        for (double y = kFrameY + 80; y < kFrameY + kFrameH - 60; y += 46) {
            for (double x : {kFrameX + 22.5, kFrameX + kFrameW - 22.5}) {
                cairo_new_sub_path(k);
                cairo_arc(k, x, y, 4.2, 0, 2 * M_PI);
            }
        }
    });
    gold_piece(art, studs, 0, kFrameY, 0, kFrameY + kFrameH, 1.5, 2);

    // Scroll work along the bottom band: pairs of curls joined by an arch,
    // with leaves reaching out to the sides.
    Canvas scrolls = path_mask([](cairo_t* k) {
        const double y = kPageB + 33;
        for (int i : {-3, -2, -1, 1, 2, 3}) {
            const double x = (kPageL + kPageR) / 2.0 + i * 115;
            curl(k, x - 14, y + 1, 8.5, 1.3, 3.4, -1, 0);
            curl(k, x + 14, y + 1, 8.5, 1.3, 3.4, 1, M_PI);
            tapered_curve(k, {x - 22, y + 1}, {x - 12, y - 10}, {x + 12, y - 10}, {x + 22, y + 1}, 2.2, 2.2);
            tapered_curve(k, {x - 22, y + 2}, {x - 34, y + 8}, {x - 44, y + 2}, {x - 54, y - 3}, 3.0, 0.4);
            tapered_curve(k, {x + 22, y + 2}, {x + 34, y + 8}, {x + 44, y + 2}, {x + 54, y - 3}, 3.0, 0.4);
            cairo_new_sub_path(k);
            cairo_move_to(k, x, y - 12);
            cairo_line_to(k, x + 4, y - 7);
            cairo_line_to(k, x, y - 2);
            cairo_line_to(k, x - 4, y - 7);
            cairo_close_path(k);
        }
    });
    gold_piece(art, scrolls, 0, kPageB + 20, 0, kPageB + 45, 1.2, 2);

    // Corner plates with gems at the chamfered corners.
    const Pt corners[] = {{kFrameX + 20, kFrameY + 20},
                          {kFrameX + kFrameW - 20, kFrameY + 20},
                          {kFrameX + 20, kFrameY + kFrameH - 20},
                          {kFrameX + kFrameW - 20, kFrameY + kFrameH - 20}};
    Canvas plates = path_mask([&](cairo_t* k) {
        for (const Pt& p : corners) {
            cairo_new_sub_path(k);
            cairo_move_to(k, p.x, p.y - 17);
            cairo_line_to(k, p.x + 17, p.y);
            cairo_line_to(k, p.x, p.y + 17);
            cairo_line_to(k, p.x - 17, p.y);
            cairo_close_path(k);
        }
    });
    gold_piece(art, plates, 0, kFrameY, 200, kFrameY + kFrameH, 1.8, 3);
    for (const Pt& p : corners) draw_gem(cr, p.x, p.y, 8, hex(0xd8301a));
}

void draw_button_slot(const Canvas& art) {
    // A recessed channel under the link buttons; its lower edge is the page.
    Canvas slot =
        path_mask([](cairo_t* k) { rounded_rect(k, kSlotX, kSlotY, kSlotR - kSlotX, kPageT - kSlotY + 10, 8); });
    Canvas lip = path_mask([](cairo_t* k) {
        rounded_rect(k, kSlotX - 5, kSlotY - 5, kSlotR - kSlotX + 10, kPageT - kSlotY + 15, 11);
        rounded_rect(k, kSlotX, kSlotY, kSlotR - kSlotX, kPageT - kSlotY + 10, 8);
        cairo_set_fill_rule(k, CAIRO_FILL_RULE_EVEN_ODD);
    });
    gold_piece(art, lip, 0, kSlotY - 5, 0, kPageT, 1.6, 3);
    paint_gradient(art, slot,
                   linear(0, kSlotY, 0, kPageT, {{0, hex(0x0a0605)}, {0.5, hex(0x1c120c)}, {1, hex(0x2a1a10)}}));
    texture_into(art, slot, [](int x, int y) {
        const double n = fbm(x / 30.0, y / 12.0, 3, 41);
        return hex(0x5a3a20, n * 0.25);
    });
    // Sunken: shadow along the top edge.
    emboss(art, slot, 5, 1.0, hex(0x000000, 0.95), hex(0xffa060, 0.35));
}

void draw_crest(const Canvas& art) {
    cairo_t* cr = art.cr();
    // Two great horns rising from behind the crest, and spikes round it.
    for (int side : {-1, 1}) {
        const double sx = side;
        horn(art, {kCrestX + sx * 30, kCrestY - 26}, {kCrestX + sx * 74, kCrestY - 66},
             {kCrestX + sx * 40, kCrestY - 108}, {kCrestX + sx * 88, kCrestY - 122}, 30);
    }
    const double cx = kCrestX, cy = kCrestY, r = 56;
    spike_ring(art, cx, cy, r - 4, r + 22, 10, 10);
    // Gold setting round a great ember gem.
    Canvas setting = path_mask([&](cairo_t* k) { cairo_arc(k, cx, cy, r, 0, 2 * M_PI); });
    gold_piece(art, setting, cx - r, cy - r, cx + r, cy + r, 2.6, 6);
    // Engraved ring and rivets.
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, r - 7, 0, 2 * M_PI);
    set_color(cr, hex(0x4a2a08, 0.7));
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    for (int i = 0; i < 12; ++i) {
        const double a = i * M_PI / 6;
        draw_gem(cr, cx + std::cos(a) * (r - 3.5), cy + std::sin(a) * (r - 3.5), 2.4, hex(0xffb040));
    }
    // The gem: faceted ember stone.
    const double gr = 39;
    Canvas gem = path_mask([&](cairo_t* k) {
        for (int i = 0; i < 8; ++i) {
            const double a = -M_PI / 2 + i * M_PI / 4;
            (i == 0 ? cairo_move_to : cairo_line_to)(k, cx + std::cos(a) * gr, cy + std::sin(a) * gr);
        }
        cairo_close_path(k);
    });
    glow(art, gem, 5, hex(0x000000, 0.9), 0, 2);
    paint_gradient(art, gem,
                   radial(cx - 10, cy - 12, 0, gr * 1.3,
                          {{0, hex(0xfff0a0)}, {0.25, hex(0xff9a2a)}, {0.6, hex(0xc8280c)}, {1, hex(0x3a0402)}}));
    // Facets.
    cairo_save(cr);
    for (int i = 0; i < 8; ++i) {
        const double a = -M_PI / 2 + i * M_PI / 4;
        const double b = a + M_PI / 4;
        cairo_new_path(cr);
        cairo_move_to(cr, cx + std::cos(a) * gr, cy + std::sin(a) * gr);
        cairo_line_to(cr, cx + std::cos(b) * gr, cy + std::sin(b) * gr);
        cairo_line_to(cr, cx + std::cos(b) * gr * 0.55, cy + std::sin(b) * gr * 0.55);
        cairo_line_to(cr, cx + std::cos(a) * gr * 0.55, cy + std::sin(a) * gr * 0.55);
        cairo_close_path(cr);
        const double lit = std::cos(a + M_PI / 8 + M_PI * 0.75);  // light from the upper left
        set_color(cr, lit > 0 ? hex(0xffe0a0, 0.25 * lit) : hex(0x000000, -0.35 * lit));
        cairo_fill_preserve(cr);
        set_color(cr, hex(0x2a0402, 0.5));
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    cairo_new_path(cr);
    for (int i = 0; i < 8; ++i) {
        const double a = -M_PI / 2 + i * M_PI / 4;
        (i == 0 ? cairo_move_to : cairo_line_to)(cr, cx + std::cos(a) * gr * 0.55, cy + std::sin(a) * gr * 0.55);
    }
    cairo_close_path(cr);
    fill_with(cr, radial(cx - 4, cy - 6, 0, gr * 0.6,
                         {{0, hex(0xffffe0, 0.9)}, {0.5, hex(0xffb040, 0.5)}, {1, hex(0xff6010, 0.1)}}));
    Canvas core = path_mask([&](cairo_t* k) { cairo_arc(k, cx, cy, gr * 0.5, 0, 2 * M_PI); });
    glow(art, core, 22, hex(0xff8a20, 0.8), 0, 0, 1.2);
    cairo_new_path(cr);
    sparkle(cr, cx - 14, cy - 16, 11, 1.4);
    set_color(cr, hex(0xffffff, 0.95));
    cairo_fill(cr);
}

void draw_window_buttons_seat(const Canvas& art) {
    // A small dark plate on which the minimise and close buttons sit.
    Canvas seat = path_mask([](cairo_t* k) { rounded_rect(k, 1060, 119, 76, 44, 21); });
    Canvas rim = path_mask([](cairo_t* k) {
        rounded_rect(k, 1060, 119, 76, 44, 21);
        rounded_rect(k, 1064, 123, 68, 36, 17);
        cairo_set_fill_rule(k, CAIRO_FILL_RULE_EVEN_ODD);
    });
    glow(art, seat, 4, hex(0x000000, 0.9), 0, 2);
    paint_gradient(art, seat, linear(0, 119, 0, 163, {{0, hex(0x0c0806)}, {1, hex(0x2a1c14)}}));
    gold_piece(art, rim, 1060, 119, 1136, 163, 1.2, 0);
}

void draw_emblem(const Canvas& art) {
    // Horns behind the medallion.
    horn(art, {kEmblemX - 62, kEmblemY - 88}, {kEmblemX - 92, kEmblemY - 140}, {kEmblemX - 70, kEmblemY - 190},
         {kEmblemX - 130, kEmblemY - 214}, 30);
    horn(art, {kEmblemX + 62, kEmblemY - 88}, {kEmblemX + 92, kEmblemY - 140}, {kEmblemX + 70, kEmblemY - 190},
         {kEmblemX + 130, kEmblemY - 214}, 30);
    // Back plate: a stone ring a little larger than the medallion.
    Canvas back = path_mask([](cairo_t* k) { cairo_arc(k, kEmblemX, kEmblemY, kEmblemR + 14, 0, 2 * M_PI); });
    glow(art, back, 10, hex(0x000000, 0.9), 0, 4);
    texture_into(art, back, [](int x, int y) { return stone_texel(x, y, 9, kStoneBase); });
    emboss(art, back, 6, 1.0, hex(0xffe8c0, 0.9), hex(0x000000));
    spike_ring(art, kEmblemX, kEmblemY, kEmblemR + 4, kEmblemR + 34, 12, 11);
    draw_medallion(art, kEmblemX, kEmblemY, kEmblemR, 2);
}

void draw_title(const Canvas& art) {
    // Ribbon with folded ends.
    const double x0 = 22, x1 = 328, y0 = 376, y1 = 446, fold = 16;
    Canvas tails = path_mask([&](cairo_t* k) {
        for (int side : {-1, 1}) {
            const double xe = side < 0 ? x0 : x1;
            cairo_new_sub_path(k);
            cairo_move_to(k, xe - side * 30, y0 + fold);
            cairo_line_to(k, xe + side * 14, y0 + fold);
            cairo_line_to(k, xe + side * 0, (y0 + y1) / 2 + fold);
            cairo_line_to(k, xe + side * 14, y1 + fold);
            cairo_line_to(k, xe - side * 30, y1 + fold);
            cairo_close_path(k);
        }
    });
    glow(art, tails, 6, hex(0x000000, 0.8), 0, 3);
    paint_gradient(art, tails,
                   linear(0, y0, 0, y1 + fold, {{0, hex(0x5a140c)}, {0.5, hex(0x3a0a06)}, {1, hex(0x160302)}}));
    emboss(art, tails, 3, 0.8, hex(0xffb080, 0.7), hex(0x000000));
    Canvas ribbon = path_mask([&](cairo_t* k) {
        cairo_move_to(k, x0, y0);
        cairo_curve_to(k, (x0 + x1) / 2 - 60, y0 - 10, (x0 + x1) / 2 + 60, y0 - 10, x1, y0);
        cairo_line_to(k, x1, y1);
        cairo_curve_to(k, (x0 + x1) / 2 + 60, y1 - 10, (x0 + x1) / 2 - 60, y1 - 10, x0, y1);
        cairo_close_path(k);
    });
    glow(art, ribbon, 8, hex(0x000000, 0.9), 0, 4);
    texture_into(art, ribbon, [](int x, int y) {
        const double n = fbm(x / 14.0, y / 40.0, 3, 61);
        return mix(hex(0x8a1e10), hex(0x4a0a06), n);
    });
    paint_gradient(
        art, ribbon,
        linear(0, y0 - 8, 0, y1, {{0, hex(0xffffff, 0.12)}, {0.4, hex(0x000000, 0)}, {1, hex(0x000000, 0.45)}}));
    emboss(art, ribbon, 4, 0.8, hex(0xffc090, 0.8), hex(0x000000));
    // Gold edges of the ribbon.
    Canvas edges = path_mask([&](cairo_t* k) {
        cairo_set_line_width(k, 4);
        cairo_move_to(k, x0, y0 + 5);
        cairo_curve_to(k, (x0 + x1) / 2 - 60, y0 - 5, (x0 + x1) / 2 + 60, y0 - 5, x1, y0 + 5);
        cairo_move_to(k, x0, y1 - 5);
        cairo_curve_to(k, (x0 + x1) / 2 - 60, y1 - 15, (x0 + x1) / 2 + 60, y1 - 15, x1, y1 - 5);
        cairo_stroke(k);
    });
    gold_piece(art, edges, 0, y0, 0, y1, 1, 1);

    TextStyle title;
    title.family = "Noto Serif CJK SC";
    title.size_px = 44;
    title.letter_spacing_px = 6;
    title.fill = {{0, hex(0xfffbe6)}, {0.35, hex(0xffd77a)}, {0.7, hex(0xd08a2a)}, {1, hex(0x8a4a14)}};
    title.outline = hex(0x1a0603);
    title.outline_width = 3;
    title.shadow = hex(0x000000, 0.95);
    title.shadow_dy = 3;
    title.shadow_blur = 4;
    title.glow = hex(0xff7a1a, 0.6);
    title.glow_radius = 12;
    draw_text(art, "龙之荒原", title, (x0 + x1) / 2 + 3, (y0 + y1) / 2 - 3);

    // Plaque with the Latin name below the ribbon.
    const double px0 = 78, px1 = 272, py0 = 466, py1 = 500;
    Canvas plaque = path_mask([&](cairo_t* k) { banner_shape(k, px0, py0, px1 - px0, py1 - py0, 18); });
    glow(art, plaque, 6, hex(0x000000, 0.9), 0, 3);
    texture_into(art, plaque, [](int x, int y) { return stone_texel(x, y, 13, hex(0x2c241e)); });
    Canvas plaqueRim = path_mask([&](cairo_t* k) {
        banner_shape(k, px0, py0, px1 - px0, py1 - py0, 18);
        banner_shape(k, px0 + 4, py0 + 4, px1 - px0 - 8, py1 - py0 - 8, 16);
        cairo_set_fill_rule(k, CAIRO_FILL_RULE_EVEN_ODD);
    });
    gold_piece(art, plaqueRim, 0, py0, 0, py1, 1.2, 0);
    TextStyle latin;
    latin.family = "P052";
    latin.size_px = 21;
    latin.letter_spacing_px = 5;
    latin.fill = {{0, hex(0xfff4d0)}, {0.5, hex(0xf0c468)}, {1, hex(0xb07828)}};
    latin.outline = hex(0x140602);
    latin.outline_width = 1.8;
    latin.shadow = hex(0x000000, 0.9);
    latin.shadow_dy = 1.5;
    latin.shadow_blur = 2;
    draw_text(art, "DRAKMOOR", latin, (px0 + px1) / 2 + 2.5, (py0 + py1) / 2);
}

void draw_outline_spikes(const Canvas& art) {
    const double right = kFrameX + kFrameW;
    for (double y : {270.0, 390.0, 510.0}) {
        horn(art, {right - 12, y + 14}, {right + 20, y + 6}, {right + 40, y - 10}, {right + 58, y - 38}, 22);
    }
    // Corner horns.
    horn(art, {right - 30, kFrameY + 28}, {right + 10, kFrameY - 4}, {right + 30, kFrameY - 50},
         {right + 78, kFrameY - 74}, 34);
    horn(art, {right - 30, kFrameY + kFrameH - 28}, {right + 10, kFrameY + kFrameH + 4},
         {right + 30, kFrameY + kFrameH + 30}, {right + 72, kFrameY + kFrameH + 48}, 30);
    horn(art, {kFrameX + 30, kFrameY + kFrameH - 28}, {kFrameX - 10, kFrameY + kFrameH + 4},
         {kFrameX - 30, kFrameY + kFrameH + 30}, {kFrameX - 72, kFrameY + kFrameH + 48}, 30);
}

void draw_pendant(const Canvas& art) {
    cairo_t* cr = art.cr();
    const double cx = (kPageL + kPageR) / 2.0, top = kFrameY + kFrameH - 22;
    Canvas setting = path_mask([&](cairo_t* k) {
        cairo_move_to(k, cx - 70, top);
        cairo_curve_to(k, cx - 40, top + 4, cx - 24, top + 20, cx, top + 62);
        cairo_curve_to(k, cx + 24, top + 20, cx + 40, top + 4, cx + 70, top);
        cairo_close_path(k);
    });
    gold_piece(art, setting, cx - 70, top, cx + 70, top + 60, 2.2, 5);
    draw_gem(cr, cx, top + 24, 15, hex(0xe8401a));
    Canvas core = path_mask([&](cairo_t* k) { cairo_arc(k, cx, top + 24, 5, 0, 2 * M_PI); });
    glow(art, core, 14, hex(0xff8a20, 0.9), 0, 0, 1.3);
}

void draw_embers(const Canvas& art, const Canvas& solid) {
    // Small sparks drifting over the artwork, denser near the bottom and the crest.
    Random rnd(20240611);
    Canvas sparks(W, H);
    cairo_t* k = sparks.cr();
    solid.flush();
    int placed = 0;
    for (int tries = 0; tries < 4000 && placed < 150; ++tries) {
        const double x = rnd.uniform(20, W - 20), y = rnd.uniform(20, H - 20);
        const int ix = static_cast<int>(x), iy = static_cast<int>(y);
        if ((solid.row(iy)[ix] >> 24) < 250) continue;
        if (x >= kPageL - 2 && x < kPageR + 2 && y >= kPageT - 2 && y < kPageB + 2) continue;
        // Keep the faces of the emblem and the crest clean.
        if (std::hypot(x - kEmblemX, y - kEmblemY) < kEmblemR + 4) continue;
        if (std::hypot(x - kCrestX, y - kCrestY) < 60) continue;
        const bool near = y > kPageB || std::hypot(x - kCrestX, y - kCrestY) < 200 || x < kPageL;
        if (!near && rnd.uniform() < 0.6) continue;
        const double r = rnd.uniform(0.6, 1.9);
        cairo_new_path(k);
        cairo_arc(k, x, y, r, 0, 2 * M_PI);
        set_color(k, mix(hex(0xffe08a), hex(0xff5a10), rnd.uniform()));
        cairo_fill(k);
        ++placed;
    }
    Canvas halo = copy_of(sparks);
    tint(halo, hex(0xff7a1a));
    blur(halo, 5);
    art.paint(halo, 1.0);
    art.paint(halo, 0.8);
    art.paint(sparks);
}

}  // namespace

Canvas picture_launcher_background() {
    Canvas art(W, H);
    draw_wings(art);
    draw_outline_spikes(art);
    draw_frame_body(art);
    draw_frame_ornaments(art);
    draw_button_slot(art);
    draw_window_buttons_seat(art);
    draw_crest(art);
    draw_emblem(art);
    draw_title(art);
    draw_pendant(art);
    {
        Canvas solid = copy_of(art);
        draw_embers(art, solid);
    }

    // A faint ember aura round the whole outline, under everything.
    Canvas out(W, H);
    {
        Canvas aura = copy_of(art);
        tint(aura, hex(0xff6a1a));
        blur(aura, 16);
        out.paint(aura, 0.35);
    }
    out.paint(art);

    // The page area: opaque black, exactly.
    cairo_t* cr = out.cr();
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cr, kPageL, kPageT, kPageR - kPageL, kPageB - kPageT);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    cairo_fill(cr);
    cairo_restore(cr);
    return out;
}

}  // namespace skin
