// Motifs shared by several pictures: the dragon head, horns, wings, gold
// filigree, the dragon medallion and the stone texture.
#pragma once

#include "canvas.hpp"

namespace skin {

struct Pt {
    double x, y;
};

// Dragon head in profile facing right, in a 100 x 100 box (path only).
void dragon_head_path(cairo_t* cr);
// Its eye, in the same box.
constexpr Pt kDragonEye{64.5, 45.5};

// A filled shape along a cubic curve whose width shrinks from w0 at p0 to w1 at p3:
// horns, claws, spikes and tapered filigree strokes.
void tapered_curve(cairo_t* cr, Pt p0, Pt p1, Pt p2, Pt p3, double w0, double w1);

// A tapered spiral curl: starts at (cx + r, cy) and winds `turns` times inward.
// `sign` +1 winds clockwise, -1 counter-clockwise. A pointed start tapers the
// outer end to a point instead of cutting it square.
void curl(cairo_t* cr, double cx, double cy, double r, double turns, double w0, int sign, double start_angle = 0.0,
          bool pointed_start = false);

// A bat wing spreading to the left from its root at (0, 0), about 330 x 150
// units, bones along the upper edge, scalloped membrane below (path only).
void wing_path(cairo_t* cr);
// The bones of the wing in the same units, as tapered strokes.
void wing_bones_path(cairo_t* cr);

// Dark weathered stone colour at a pixel.
Rgba stone_texel(int x, int y, uint32_t seed, const Rgba& base);

// A complete dragon medallion centred at (cx, cy) with outer radius r: gold
// rim with bevel, dark crimson field, golden dragon head, ember eye. `detail`
// 0 is the simple form for tiny icons, 2 the full one.
void draw_medallion(const Canvas& dst, double cx, double cy, double r, int detail);

// Draws a small gold gem (diamond) with an ember core.
void draw_gem(cairo_t* cr, double cx, double cy, double r, const Rgba& core);

}  // namespace skin
