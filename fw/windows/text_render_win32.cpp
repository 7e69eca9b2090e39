// Text drawing with GDI+ straight into the canvas's bitmap: GDI+'s premultiplied 32-bit
// format (PixelFormat32bppPARGB) is the canvas's own layout, so the bitmap is wrapped in
// place and nothing is copied.
#include "fw/windows/windows_api.h"

#include <string>

#include "fw/backend.h"
#include "fw/canvas.h"
#include "fw/windows/gdiplus.h"
#include "fw/windows/wide.h"

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
    if (utf8.empty() || (argb >> 24) == 0 || clip.IsEmpty() || bmp.width() <= 0 || bmp.height() <= 0) return;
    if (!windows::EnsureGdiplus()) return;
    const std::wstring text = windows::Wide(utf8);  // invalid UTF-8 is U+FFFD

    Gdiplus::Bitmap surface(bmp.width(), bmp.height(), bmp.stride(), PixelFormat32bppPARGB,
                            reinterpret_cast<BYTE*>(bmp.data()));
    if (surface.GetLastStatus() != Gdiplus::Ok) return;
    Gdiplus::Graphics g(&surface);
    if (g.GetLastStatus() != Gdiplus::Ok) return;
    g.SetClip(Gdiplus::Rect(clip.left, clip.top, clip.Width(), clip.Height()));
    g.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
    // Grayscale antialiasing in both cases: ClearType's per-channel coverage on a transparent
    // bitmap leaves pixels whose colour exceeds their alpha, which no longer compose as
    // premultiplied pixels. Grid fitting follows the hint.
    g.SetTextRenderingHint(hint == TextHint::ClearTypeGridFit ? Gdiplus::TextRenderingHintAntiAliasGridFit
                                                              : Gdiplus::TextRenderingHintAntiAlias);

    const std::optional<std::wstring> family = windows::ResolveFontFamily(font.face);
    Gdiplus::FontFamily named(family ? family->c_str() : L"");
    const Gdiplus::FontFamily* fam =
        family && named.GetLastStatus() == Gdiplus::Ok ? &named : Gdiplus::FontFamily::GenericSansSerif();
    Gdiplus::Font f(fam, static_cast<Gdiplus::REAL>(font.pixelSize > 0 ? font.pixelSize : 1),
                    font.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    if (f.GetLastStatus() != Gdiplus::Ok) return;
    Gdiplus::SolidBrush brush(Gdiplus::Color(static_cast<BYTE>(argb >> 24), static_cast<BYTE>(argb >> 16),
                                             static_cast<BYTE>(argb >> 8), static_cast<BYTE>(argb)));
    // The typographic format has no padding before the first glyph: the origin is the top
    // left of the text's layout box, as on the other platforms.
    Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
    const INT len = static_cast<INT>(text.size());
    if (how.wrapWidth >= 0) {
        format.SetFormatFlags(format.GetFormatFlags() & ~Gdiplus::StringFormatFlagsNoWrap);
        const Gdiplus::RectF box(static_cast<Gdiplus::REAL>(how.origin.x), static_cast<Gdiplus::REAL>(how.origin.y),
                                 static_cast<Gdiplus::REAL>(how.wrapWidth),
                                 static_cast<Gdiplus::REAL>(clip.bottom - how.origin.y));
        g.DrawString(text.c_str(), len, &f, box, &format, &brush);
    } else {
        format.SetFormatFlags(format.GetFormatFlags() | Gdiplus::StringFormatFlagsNoWrap);
        g.DrawString(
            text.c_str(), len, &f,
            Gdiplus::PointF(static_cast<Gdiplus::REAL>(how.origin.x), static_cast<Gdiplus::REAL>(how.origin.y)),
            &format, &brush);
    }
    g.Flush(Gdiplus::FlushIntentionSync);
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
