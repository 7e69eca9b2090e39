// Drawing helpers of the skin generator: colours, owned cairo surfaces,
// pixel effects (blur, emboss, glow), procedural noise, outlined text and
// deterministic PNG / ICO encoding.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace skin {

// ---------------------------------------------------------------- colours

struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};

// 0xRRGGBB with an optional alpha.
Rgba hex(uint32_t rgb, double a = 1.0);
Rgba mix(const Rgba& x, const Rgba& y, double t);
Rgba with_alpha(Rgba c, double a);
void set_color(cairo_t* cr, const Rgba& c);
void add_stop(cairo_pattern_t* p, double offset, const Rgba& c);

// A gradient given as a list of (offset, colour) pairs.
using Stops = std::vector<std::pair<double, Rgba>>;
cairo_pattern_t* linear(double x0, double y0, double x1, double y1, const Stops& stops);
cairo_pattern_t* radial(double cx, double cy, double r0, double r1, const Stops& stops);

// Fills / strokes the current path with a pattern and destroys the pattern.
void fill_with(cairo_t* cr, cairo_pattern_t* p, bool preserve = false);
void stroke_with(cairo_t* cr, cairo_pattern_t* p, double width, bool preserve = false);

// The metal ramps used everywhere: polished gold, darker bronze.
Stops gold_stops(double bright = 1.0);
Stops bronze_stops();

// ---------------------------------------------------------------- surfaces

// An owned ARGB32 image surface with a cairo context on it.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    Canvas(Canvas&& other) noexcept;
    Canvas& operator=(Canvas&& other) noexcept;

    cairo_t* cr() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Paints another canvas (same size) onto this one with the given operator and opacity.
    void paint(const Canvas& src, double opacity = 1.0, cairo_operator_t op = CAIRO_OPERATOR_OVER) const;
    // Paints a canvas at an offset.
    void paint_at(const Canvas& src, double x, double y, double opacity = 1.0) const;

    // Direct pixel access (premultiplied ARGB32); call flush() before and
    // mark_dirty() after changing pixels.
    uint32_t* row(int y) const;
    void flush() const;
    void mark_dirty() const;

private:
    void release();
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

using PathFn = std::function<void(cairo_t*)>;

// A canvas whose alpha is the coverage of the path (colour white).
Canvas mask_of(int width, int height, const PathFn& path);
// A copy of the canvas.
Canvas copy_of(const Canvas& src);

// Gaussian-like blur (three box passes) of every channel, in place.
void blur(Canvas& c, double radius);

// Replaces every pixel colour with `color`, keeping (and scaling) its alpha.
void tint(Canvas& c, const Rgba& color);

// Keeps only the parts of `c` that lie inside `mask` (destination-in).
void clip_to(Canvas& c, const Canvas& mask);

// Light and shade of a raised shape: the mask's alpha, blurred by `radius`,
// is taken as a height field lit from the upper left. Highlights and shadows
// are painted onto `dst`, inside the mask only. `depth` scales the effect.
void emboss(const Canvas& dst, const Canvas& mask, double radius, double depth, const Rgba& light = hex(0xfff2cc),
            const Rgba& shade = hex(0x000000));

// Paints a blurred, tinted copy of `mask` under whatever `dst` will receive
// next (call it first): a glow or a drop shadow.
void glow(const Canvas& dst, const Canvas& mask, double radius, const Rgba& color, double dx = 0, double dy = 0,
          double strength = 1.0);

// Fills the path of `mask` with a per-pixel texture function.
void texture_into(const Canvas& dst, const Canvas& mask, const std::function<Rgba(int, int)>& texel);

// ---------------------------------------------------------------- noise

double value_noise(double x, double y, uint32_t seed);
double fbm(double x, double y, int octaves, uint32_t seed);
// Deterministic pseudo-random numbers (SplitMix64).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next();
    double uniform(double lo = 0.0, double hi = 1.0);

private:
    uint64_t state_;
};

// ---------------------------------------------------------------- shapes

void rounded_rect(cairo_t* cr, double x, double y, double w, double h, double r);
// A rectangle with its four corners cut at 45 degrees.
void chamfer_rect(cairo_t* cr, double x, double y, double w, double h, double cut);
// A banner plate: flat top and bottom, pointed left and right ends.
void banner_shape(cairo_t* cr, double x, double y, double w, double h, double point);
// A four-pointed star (sparkle) of outer radius r.
void sparkle(cairo_t* cr, double cx, double cy, double r, double waist);

// ---------------------------------------------------------------- text

struct TextStyle {
    std::string family = "Noto Serif CJK SC";
    PangoWeight weight = PANGO_WEIGHT_BOLD;
    double size_px = 16;
    double letter_spacing_px = 0;
    Stops fill = {{0, hex(0xffffff)}, {1, hex(0xffffff)}};  // top to bottom
    Rgba outline = hex(0x000000, 0.0);
    double outline_width = 0;
    Rgba shadow = hex(0x000000, 0.0);
    double shadow_dx = 0, shadow_dy = 1, shadow_blur = 1;
    Rgba glow = hex(0x000000, 0.0);
    double glow_radius = 0;
};

// Ink box of a text in the style, in pixels (x, y relative to the layout origin).
struct InkBox {
    double x, y, w, h;
};
InkBox measure_text(const std::string& utf8, const TextStyle& style);

// Draws the text with its ink box centred on (cx, cy). The context must have
// an identity transformation (effects are composed in device pixels).
void draw_text(const Canvas& dst, const std::string& utf8, const TextStyle& style, double cx, double cy);

// ---------------------------------------------------------------- output

std::vector<uint8_t> encode_png(const Canvas& c);
// Writes bytes through a temporary file renamed over `path`; false on failure.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
// A Windows icon file holding PNG-compressed images (one per canvas; each
// canvas must be square, 1 to 256 pixels).
std::vector<uint8_t> encode_ico(const std::vector<const Canvas*>& images);

}  // namespace skin
