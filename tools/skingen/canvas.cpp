// Over 500 lines: the skin generator's one drawing surface (paths, fills, gradients, text); its parts share the pixel loop.
#include "canvas.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace skin {

// ---------------------------------------------------------------- colours

Rgba hex(uint32_t rgb, double a) {
    return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0, a};
}

Rgba mix(const Rgba& x, const Rgba& y, double t) {
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

Rgba with_alpha(Rgba c, double a) {
    c.a = a;
    return c;
}

void set_color(cairo_t* cr, const Rgba& c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

void add_stop(cairo_pattern_t* p, double offset, const Rgba& c) {
    cairo_pattern_add_color_stop_rgba(p, offset, c.r, c.g, c.b, c.a);
}

cairo_pattern_t* linear(double x0, double y0, double x1, double y1, const Stops& stops) {
    cairo_pattern_t* p = cairo_pattern_create_linear(x0, y0, x1, y1);
    for (const auto& [o, c] : stops) add_stop(p, o, c);
    return p;
}

cairo_pattern_t* radial(double cx, double cy, double r0, double r1, const Stops& stops) {
    cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, r0, cx, cy, r1);
    for (const auto& [o, c] : stops) add_stop(p, o, c);
    return p;
}

void fill_with(cairo_t* cr, cairo_pattern_t* p, bool preserve) {
    cairo_set_source(cr, p);
    preserve ? cairo_fill_preserve(cr) : cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void stroke_with(cairo_t* cr, cairo_pattern_t* p, double width, bool preserve) {
    cairo_set_source(cr, p);
    cairo_set_line_width(cr, width);
    preserve ? cairo_stroke_preserve(cr) : cairo_stroke(cr);
    cairo_pattern_destroy(p);
}

Stops gold_stops(double bright) {
    auto b = [bright](uint32_t rgb) {
        Rgba c = hex(rgb);
        return bright >= 1.0 ? mix(c, hex(0xffffff), bright - 1.0) : mix(hex(0x000000), c, bright);
    };
    return {{0.00, b(0xfff3c4)}, {0.18, b(0xf3cf72)}, {0.42, b(0xb07a22)}, {0.55, b(0x7a4c12)},
            {0.72, b(0xd4a445)}, {0.90, b(0xf6dc8e)}, {1.00, b(0x9a6a22)}};
}

Stops bronze_stops() {
    return {{0.00, hex(0xc8995a)},
            {0.30, hex(0x8a5e2c)},
            {0.55, hex(0x4e3216)},
            {0.80, hex(0x7a5228)},
            {1.00, hex(0x3a2410)}};
}

// ---------------------------------------------------------------- surfaces

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cannot create a surface");
    cr_ = cairo_create(surface_);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_GRAY);
}

Canvas::~Canvas() { release(); }

Canvas::Canvas(Canvas&& o) noexcept : surface_(o.surface_), cr_(o.cr_), width_(o.width_), height_(o.height_) {
    o.surface_ = nullptr;
    o.cr_ = nullptr;
}

Canvas& Canvas::operator=(Canvas&& o) noexcept {
    if (this != &o) {
        release();
        surface_ = o.surface_;
        cr_ = o.cr_;
        width_ = o.width_;
        height_ = o.height_;
        o.surface_ = nullptr;
        o.cr_ = nullptr;
    }
    return *this;
}

void Canvas::release() {
    if (cr_) cairo_destroy(cr_);
    if (surface_) cairo_surface_destroy(surface_);
    cr_ = nullptr;
    surface_ = nullptr;
}

void Canvas::paint(const Canvas& src, double opacity, cairo_operator_t op) const {
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_operator(cr_, op);
    cairo_set_source_surface(cr_, src.surface(), 0, 0);
    cairo_paint_with_alpha(cr_, opacity);
    cairo_restore(cr_);
}

void Canvas::paint_at(const Canvas& src, double x, double y, double opacity) const {
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_source_surface(cr_, src.surface(), x, y);
    cairo_paint_with_alpha(cr_, opacity);
    cairo_restore(cr_);
}

uint32_t* Canvas::row(int y) const {
    unsigned char* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    return reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
}

void Canvas::flush() const { cairo_surface_flush(surface_); }
void Canvas::mark_dirty() const { cairo_surface_mark_dirty(surface_); }

Canvas mask_of(int width, int height, const PathFn& path) {
    Canvas m(width, height);
    cairo_t* cr = m.cr();
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_new_path(cr);
    path(cr);
    cairo_fill(cr);
    return m;
}

Canvas copy_of(const Canvas& src) {
    Canvas c(src.width(), src.height());
    c.paint(src, 1.0, CAIRO_OPERATOR_SOURCE);
    return c;
}

namespace {

// One running-sum box pass along a line of `n` samples spaced `step` apart,
// treating everything outside the line as transparent.
void box_line(float* data, int n, int step, int r, std::vector<float>& tmp) {
    tmp.resize(static_cast<size_t>(n));
    const float scale = 1.0f / static_cast<float>(2 * r + 1);
    float sum = 0;
    for (int i = 0; i <= std::min(r, n - 1); ++i) sum += data[i * step];
    for (int i = 0; i < n; ++i) {
        tmp[static_cast<size_t>(i)] = sum * scale;
        int add = i + r + 1;
        int sub = i - r;
        if (add < n) sum += data[add * step];
        if (sub >= 0) sum -= data[sub * step];
    }
    for (int i = 0; i < n; ++i) data[i * step] = tmp[static_cast<size_t>(i)];
}

}  // namespace

void blur(Canvas& c, double radius) {
    if (radius <= 0.0) return;
    const int w = c.width(), h = c.height();
    // Three boxes whose sum of variances approximates a Gaussian of sigma = radius / 2.
    const double sigma = radius / 2.0;
    const double ideal = std::sqrt(12.0 * sigma * sigma / 3.0 + 1.0);
    int wl = static_cast<int>(std::floor(ideal));
    if (wl % 2 == 0) --wl;
    const int wu = wl + 2;
    const double mIdeal = (12.0 * sigma * sigma - 3.0 * wl * wl - 12.0 * wl - 9.0) / (-4.0 * wl - 4.0);
    const int m = static_cast<int>(std::lround(mIdeal));
    int radii[3];
    for (int i = 0; i < 3; ++i) radii[i] = ((i < m ? wl : wu) - 1) / 2;

    c.flush();
    std::vector<float> ch[4];
    for (auto& v : ch) v.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const uint32_t* p = c.row(y);
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            for (int k = 0; k < 4; ++k) ch[k][i] = static_cast<float>((p[x] >> (8 * k)) & 0xff);
        }
    }
    std::vector<float> tmp;
    for (auto& v : ch) {
        for (int r : radii) {
            if (r <= 0) continue;
            for (int y = 0; y < h; ++y) box_line(&v[static_cast<size_t>(y) * w], w, 1, r, tmp);
            for (int x = 0; x < w; ++x) box_line(&v[static_cast<size_t>(x)], h, w, r, tmp);
        }
    }
    for (int y = 0; y < h; ++y) {
        uint32_t* p = c.row(y);
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            uint32_t a = static_cast<uint32_t>(std::clamp(std::lround(ch[3][i]), 0L, 255L));
            uint32_t px = a << 24;
            for (int k = 0; k < 3; ++k) {
                uint32_t v = static_cast<uint32_t>(std::clamp(std::lround(ch[k][i]), 0L, 255L));
                px |= std::min(v, a) << (8 * k);
            }
            p[x] = px;
        }
    }
    c.mark_dirty();
}

void tint(Canvas& c, const Rgba& color) {
    cairo_t* cr = c.cr();
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_IN);
    set_color(cr, color);
    cairo_paint(cr);
    cairo_restore(cr);
}

void clip_to(Canvas& c, const Canvas& mask) { c.paint(mask, 1.0, CAIRO_OPERATOR_DEST_IN); }

void emboss(const Canvas& dst, const Canvas& mask, double radius, double depth, const Rgba& light, const Rgba& shade) {
    const int w = mask.width(), h = mask.height();
    Canvas height = copy_of(mask);
    blur(height, radius);
    height.flush();
    mask.flush();
    Canvas out(w, h);
    out.flush();
    // Light from the upper left, somewhat above the surface.
    double lx = -0.55, ly = -0.70, lz = 0.75;
    const double ll = std::sqrt(lx * lx + ly * ly + lz * lz);
    lx /= ll, ly /= ll, lz /= ll;
    const double slope = depth * 2.5 * std::max(radius, 0.5);
    auto heightAt = [&](int x, int y) {
        x = std::clamp(x, 0, w - 1);
        y = std::clamp(y, 0, h - 1);
        return static_cast<double>(height.row(y)[x] >> 24) / 255.0;
    };
    for (int y = 0; y < h; ++y) {
        uint32_t* o = out.row(y);
        const uint32_t* m = mask.row(y);
        for (int x = 0; x < w; ++x) {
            const double cover = static_cast<double>(m[x] >> 24) / 255.0;
            if (cover <= 0.0) continue;
            const double gx = (heightAt(x + 1, y) - heightAt(x - 1, y)) * 0.5 * slope;
            const double gy = (heightAt(x, y + 1) - heightAt(x, y - 1)) * 0.5 * slope;
            const double nl = std::sqrt(gx * gx + gy * gy + 1.0);
            const double lit = (-gx * lx - gy * ly + lz) / nl - lz;
            const Rgba& c = lit > 0 ? light : shade;
            const double a = std::clamp(std::fabs(lit) * 1.6, 0.0, 1.0) * cover * c.a;
            auto q = [a](double v) { return static_cast<uint32_t>(std::lround(v * a * 255.0)); };
            o[x] = (static_cast<uint32_t>(std::lround(a * 255.0)) << 24) | (q(c.r) << 16) | (q(c.g) << 8) | q(c.b);
        }
    }
    out.mark_dirty();
    dst.paint(out);
}

void glow(const Canvas& dst, const Canvas& mask, double radius, const Rgba& color, double dx, double dy,
          double strength) {
    Canvas g = copy_of(mask);
    tint(g, color);
    blur(g, radius);
    while (strength > 1.0) {
        dst.paint_at(g, dx, dy);
        strength -= 1.0;
    }
    dst.paint_at(g, dx, dy, strength);
}

void texture_into(const Canvas& dst, const Canvas& mask, const std::function<Rgba(int, int)>& texel) {
    const int w = dst.width(), h = dst.height();
    Canvas tex(w, h);
    tex.flush();
    mask.flush();
    for (int y = 0; y < h; ++y) {
        uint32_t* o = tex.row(y);
        const uint32_t* m = mask.row(y);
        for (int x = 0; x < w; ++x) {
            if ((m[x] >> 24) == 0) continue;
            Rgba c = texel(x, y);
            const double a = std::clamp(c.a, 0.0, 1.0);
            auto q = [a](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * a * 255.0)); };
            o[x] = (static_cast<uint32_t>(std::lround(a * 255.0)) << 24) | (q(c.r) << 16) | (q(c.g) << 8) | q(c.b);
        }
    }
    tex.mark_dirty();
    cairo_t* cr = dst.cr();
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_source_surface(cr, tex.surface(), 0, 0);
    cairo_mask_surface(cr, mask.surface(), 0, 0);
    cairo_restore(cr);
}

// ---------------------------------------------------------------- noise

namespace {

uint32_t hash2(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

}  // namespace

double value_noise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double tx = smooth(x - fx), ty = smooth(y - fy);
    auto v = [&](int dx, int dy) { return hash2(ix + dx, iy + dy, seed) / 4294967295.0; };
    const double a = v(0, 0) + (v(1, 0) - v(0, 0)) * tx;
    const double b = v(0, 1) + (v(1, 1) - v(0, 1)) * tx;
    return a + (b - a) * ty;
}

double fbm(double x, double y, int octaves, uint32_t seed) {
    double sum = 0, amp = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * value_noise(x, y, seed + static_cast<uint32_t>(i) * 101u);
        norm += amp;
        x = x * 2.03 + 17.1;
        y = y * 2.03 - 9.7;
        amp *= 0.5;
    }
    return sum / norm;
}

uint64_t Random::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::uniform(double lo, double hi) {
    return lo + (hi - lo) * (static_cast<double>(next() >> 11) / 9007199254740992.0);
}

// ---------------------------------------------------------------- shapes

void rounded_rect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void chamfer_rect(cairo_t* cr, double x, double y, double w, double h, double cut) {
    cairo_move_to(cr, x + cut, y);
    cairo_line_to(cr, x + w - cut, y);
    cairo_line_to(cr, x + w, y + cut);
    cairo_line_to(cr, x + w, y + h - cut);
    cairo_line_to(cr, x + w - cut, y + h);
    cairo_line_to(cr, x + cut, y + h);
    cairo_line_to(cr, x, y + h - cut);
    cairo_line_to(cr, x, y + cut);
    cairo_close_path(cr);
}

void banner_shape(cairo_t* cr, double x, double y, double w, double h, double point) {
    cairo_move_to(cr, x + point, y);
    cairo_line_to(cr, x + w - point, y);
    cairo_line_to(cr, x + w, y + h / 2);
    cairo_line_to(cr, x + w - point, y + h);
    cairo_line_to(cr, x + point, y + h);
    cairo_line_to(cr, x, y + h / 2);
    cairo_close_path(cr);
}

void sparkle(cairo_t* cr, double cx, double cy, double r, double waist) {
    cairo_move_to(cr, cx, cy - r);
    cairo_curve_to(cr, cx + waist, cy - waist, cx + waist, cy - waist, cx + r, cy);
    cairo_curve_to(cr, cx + waist, cy + waist, cx + waist, cy + waist, cx, cy + r);
    cairo_curve_to(cr, cx - waist, cy + waist, cx - waist, cy + waist, cx - r, cy);
    cairo_curve_to(cr, cx - waist, cy - waist, cx - waist, cy - waist, cx, cy - r);
    cairo_close_path(cr);
}

// ---------------------------------------------------------------- text

namespace {

PangoLayout* make_layout(cairo_t* cr, const std::string& utf8, const TextStyle& style) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    cairo_font_options_t* opts = cairo_font_options_create();
    cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_OFF);
    PangoContext* ctx = pango_layout_get_context(layout);
    pango_cairo_context_set_font_options(ctx, opts);
    cairo_font_options_destroy(opts);
    pango_layout_context_changed(layout);

    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, style.family.c_str());
    pango_font_description_set_weight(desc, style.weight);
    pango_font_description_set_absolute_size(desc, style.size_px * PANGO_SCALE);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    if (style.letter_spacing_px != 0) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(
            attrs, pango_attr_letter_spacing_new(static_cast<int>(std::lround(style.letter_spacing_px * PANGO_SCALE))));
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
    }
    pango_layout_set_text(layout, utf8.c_str(), -1);
    return layout;
}

InkBox ink_of(PangoLayout* layout) {
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout, &ink, &logical);
    return {static_cast<double>(ink.x) / PANGO_SCALE, static_cast<double>(ink.y) / PANGO_SCALE,
            static_cast<double>(ink.width) / PANGO_SCALE, static_cast<double>(ink.height) / PANGO_SCALE};
}

}  // namespace

InkBox measure_text(const std::string& utf8, const TextStyle& style) {
    Canvas scratch(1, 1);
    PangoLayout* layout = make_layout(scratch.cr(), utf8, style);
    InkBox box = ink_of(layout);
    g_object_unref(layout);
    return box;
}

void draw_text(const Canvas& dst, const std::string& utf8, const TextStyle& style, double cx, double cy) {
    const int w = dst.width(), h = dst.height();
    cairo_t* cr = dst.cr();
    PangoLayout* layout = make_layout(cr, utf8, style);
    const InkBox ink = ink_of(layout);
    const double ox = cx - (ink.x + ink.w / 2);
    const double oy = cy - (ink.y + ink.h / 2);
    auto path = [&](cairo_t* c) {
        cairo_move_to(c, ox, oy);
        pango_cairo_layout_path(c, layout);
    };
    // Silhouette including the outline, the base of glow and shadow.
    auto silhouette = [&]() {
        Canvas m(w, h);
        cairo_t* c = m.cr();
        cairo_set_source_rgb(c, 1, 1, 1);
        path(c);
        cairo_fill_preserve(c);
        if (style.outline_width > 0) {
            cairo_set_line_width(c, style.outline_width * 2);
            cairo_set_line_join(c, CAIRO_LINE_JOIN_ROUND);
            cairo_stroke(c);
        }
        cairo_new_path(c);
        return m;
    };
    if (style.glow.a > 0 && style.glow_radius > 0) {
        Canvas m = silhouette();
        glow(dst, m, style.glow_radius, style.glow, 0, 0, 1.6);
    }
    if (style.shadow.a > 0) {
        Canvas m = silhouette();
        glow(dst, m, style.shadow_blur, style.shadow, style.shadow_dx, style.shadow_dy);
    }
    cairo_save(cr);
    cairo_new_path(cr);
    path(cr);
    if (style.outline_width > 0 && style.outline.a > 0) {
        set_color(cr, style.outline);
        cairo_set_line_width(cr, style.outline_width * 2);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_preserve(cr);
    }
    const double top = oy + ink.y, bottom = oy + ink.y + ink.h;
    fill_with(cr, linear(0, top, 0, bottom, style.fill));
    cairo_restore(cr);
    g_object_unref(layout);
}

// ---------------------------------------------------------------- output

std::vector<uint8_t> encode_png(const Canvas& c) {
    std::vector<uint8_t> out;
    c.flush();
    auto sink = [](void* closure, const unsigned char* data, unsigned int length) {
        auto* v = static_cast<std::vector<uint8_t>*>(closure);
        v->insert(v->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
    };
    if (cairo_surface_write_to_png_stream(c.surface(), sink, &out) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("PNG encoding failed");
    return out;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(tmp.c_str());
    return ok;
}

std::vector<uint8_t> encode_ico(const std::vector<const Canvas*>& images) {
    auto put16 = [](std::vector<uint8_t>& v, uint32_t x) {
        v.push_back(static_cast<uint8_t>(x & 0xff));
        v.push_back(static_cast<uint8_t>((x >> 8) & 0xff));
    };
    auto put32 = [&](std::vector<uint8_t>& v, uint32_t x) {
        put16(v, x & 0xffff);
        put16(v, x >> 16);
    };
    std::vector<std::vector<uint8_t>> pngs;
    for (const Canvas* c : images) {
        if (c->width() != c->height() || c->width() < 1 || c->width() > 256)
            throw std::runtime_error("icon images must be square, 1 to 256 pixels");
        pngs.push_back(encode_png(*c));
    }
    std::vector<uint8_t> out;
    put16(out, 0);  // reserved
    put16(out, 1);  // type: icon
    put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int size = images[i]->width();
        out.push_back(static_cast<uint8_t>(size == 256 ? 0 : size));  // width
        out.push_back(static_cast<uint8_t>(size == 256 ? 0 : size));  // height
        out.push_back(0);                                             // palette size
        out.push_back(0);                                             // reserved
        put16(out, 1);                                                // colour planes
        put16(out, 32);                                               // bits per pixel
        put32(out, static_cast<uint32_t>(pngs[i].size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(pngs[i].size());
    }
    for (const auto& p : pngs) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace skin
