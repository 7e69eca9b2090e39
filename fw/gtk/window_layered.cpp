// Painting GTK windows. Each paints itself in "draw": an ordinary window from a back buffer,
// which Window::PaintInto fills again only once the window was invalidated or resized; a
// layered window from the last picture given to UpdateLayered, on an RGBA visual, with an
// input shape cut from the picture's alpha channel so that clicks on transparent pixels reach
// whatever lies below.
//
// GTK also draws a window again wherever one of its child widgets changes, under the child:
// a web view showing an animated page does so for every frame. Those draws only copy the back
// buffer, as a system window's children repaint without their parent.
#include <gtk/gtk.h>

#include <cstring>
#include <utility>
#include <vector>

#include "fw/gtk/window_native.h"

namespace fw::gtk::win {

namespace {

// Updates the stored alpha channel from the picture; true when it changed.
bool TakeAlpha(Native* n, const Bitmap& pic) {
    int w = pic.width(), h = pic.height();
    std::size_t count = static_cast<std::size_t>(w) * h;
    bool changed = false;
    if (w != n->alphaW || h != n->alphaH || n->alpha.size() != count) {
        n->alpha.assign(count, 0);
        n->alphaW = w;
        n->alphaH = h;
        changed = true;
    }
    const std::uint32_t* px = pic.data();
    std::uint8_t* a = n->alpha.data();
    for (std::size_t i = 0; i < count; ++i) {
        auto v = static_cast<std::uint8_t>(px[i] >> 24);
        if (a[i] != v) {
            a[i] = v;
            changed = true;
        }
    }
    return changed;
}

// The input region: runs of non-zero alpha per row; rows with the same runs as the row
// above extend its rectangles downwards.
cairo_region_t* RegionFromAlpha(const std::vector<std::uint8_t>& alpha, int w, int h) {
    std::vector<cairo_rectangle_int_t> rects;
    std::vector<std::pair<int, int>> runs, prevRuns;
    std::size_t prevStart = 0;
    for (int y = 0; y < h; ++y) {
        runs.clear();
        const std::uint8_t* row = alpha.data() + static_cast<std::size_t>(y) * w;
        int x = 0;
        while (x < w) {
            while (x < w && row[x] == 0) ++x;
            if (x >= w) break;
            int start = x;
            while (x < w && row[x] != 0) ++x;
            runs.emplace_back(start, x);
        }
        if (y > 0 && runs == prevRuns) {
            for (std::size_t i = prevStart; i < rects.size(); ++i) rects[i].height++;
            continue;
        }
        prevStart = rects.size();
        for (auto& r : runs) rects.push_back({r.first, y, r.second - r.first, 1});
        prevRuns.swap(runs);
    }
    return cairo_region_create_rectangles(rects.data(), static_cast<int>(rects.size()));
}

void ApplyInputShape(Native* n) {
    // Set on the X window directly, once the window and its GtkFixed (which draws on the
    // same X window and would reset the shape when it is realised) are mapped. The bounding
    // shape is the same region: window managers copy it onto their frame, which would
    // otherwise take the clicks that pass through the window itself.
    GdkWindow* gw = GdkWin(n);
    if (!gw || !gtk_widget_get_mapped(n->win)) return;
    gdk_window_input_shape_combine_region(gw, n->inputShape, 0, 0);
    gdk_window_shape_combine_region(gw, n->inputShape, 0, 0);
}

void OnMap(GtkWidget*, Native* n) {
    if (n->inputShape) ApplyInputShape(n);
}

gboolean OnDraw(GtkWidget* w, cairo_t* cr, Native* n) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (n->layered) {
        if (n->picture)
            cairo_set_source_surface(cr, n->picture, 0, 0);
        else
            cairo_set_source_rgba(cr, 0, 0, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        return FALSE;
    }
    GdkWindow* gw = gtk_widget_get_window(w);
    int W = gdk_window_get_width(gw), H = gdk_window_get_height(gw);
    if (W <= 0 || H <= 0) {
        cairo_restore(cr);
        return FALSE;
    }
    const bool sized = n->back.width() == W && n->back.height() == H;
    if (!sized || !n->backValid) {
        if (!sized)
            n->back.Resize(W, H);
        else
            std::memset(n->back.data(), 0, static_cast<std::size_t>(n->back.stride()) * H);
        n->backValid = true;  // first: an invalidation while painting counts for the next draw
        Handle h = n->handle;
        n->owner->PaintInto(n->back);
        if (!Alive(h)) {
            cairo_restore(cr);
            return TRUE;
        }
    }
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(n->back.data()),
                                                             CAIRO_FORMAT_ARGB32, W, H, n->back.stride());
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);  // drops the context's reference to the surface
    cairo_surface_destroy(s);
    return FALSE;  // the container draws the child widgets on top
}

}  // namespace

void UseRgbaVisual(Native* n) {
    if (n->rgba) return;
    n->rgba = true;
    GdkVisual* v = gdk_screen_get_rgba_visual(gtk_widget_get_screen(n->win));
    if (!v) return;  // no 32-bit visual: transparent pixels show black
    if (gtk_widget_get_realized(n->win)) {
        // The visual is fixed at realisation: make the X window anew.
        bool shown = gtk_widget_get_visible(n->win);
        if (shown) gtk_widget_hide(n->win);
        gtk_widget_unrealize(n->win);
        gtk_widget_set_visual(n->win, v);
        n->cursorApplied = false;
        if (shown) SyncMapped(n, false);
    } else {
        gtk_widget_set_visual(n->win, v);
    }
}

void DropPicture(Native* n) {
    if (n->picture) cairo_surface_destroy(n->picture);
    n->picture = nullptr;
    if (n->inputShape) cairo_region_destroy(n->inputShape);
    n->inputShape = nullptr;
}

void ConnectPaint(Native* n) {
    g_signal_connect(n->win, "draw", G_CALLBACK(OnDraw), n);
    g_signal_connect_after(n->win, "map", G_CALLBACK(OnMap), n);
}

}  // namespace fw::gtk::win

namespace fw::backend {

using namespace fw::gtk::win;

void Invalidate(Native* n, const Rect* r) {
    if (!n || n->layered) return;  // a layered window shows its picture, never paints
    if (r) {
        if (r->IsEmpty()) return;
        n->backValid = false;
        gtk_widget_queue_draw_area(n->win, r->left, r->top, r->Width(), r->Height());
    } else {
        n->backValid = false;
        gtk_widget_queue_draw(n->win);
    }
}

void UpdateNow(Native* n) {
    GdkWindow* gw = n ? GdkWin(n) : nullptr;
    if (!gw || !gtk_widget_get_mapped(n->win)) return;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gdk_window_process_updates(gw, TRUE);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

void UpdateLayered(Native* n, const Bitmap& picture) {
    if (!n) return;
    int w = picture.width(), h = picture.height();
    if (w <= 0 || h <= 0) return;
    n->layered = true;
    UseRgbaVisual(n);

    if (!n->picture || cairo_image_surface_get_width(n->picture) != w ||
        cairo_image_surface_get_height(n->picture) != h) {
        if (n->picture) cairo_surface_destroy(n->picture);
        n->picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    }
    cairo_surface_flush(n->picture);
    unsigned char* dst = cairo_image_surface_get_data(n->picture);
    int dstStride = cairo_image_surface_get_stride(n->picture);
    const auto* src = reinterpret_cast<const unsigned char*>(picture.data());
    for (int y = 0; y < h; ++y)
        std::memcpy(dst + static_cast<std::size_t>(y) * dstStride, src + static_cast<std::size_t>(y) * picture.stride(),
                    static_cast<std::size_t>(w) * 4);
    cairo_surface_mark_dirty(n->picture);

    if (TakeAlpha(n, picture)) {
        if (n->inputShape) cairo_region_destroy(n->inputShape);
        n->inputShape = RegionFromAlpha(n->alpha, w, h);
        ApplyInputShape(n);
    }
    gtk_widget_queue_draw(n->win);
}

}  // namespace fw::backend
