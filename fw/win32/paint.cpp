// Painting on Win32. An ordinary window paints through Window::PaintInto into a back buffer,
// which is then copied to the screen in one piece. A layered window shows the premultiplied
// picture given to UpdateLayered with UpdateLayeredWindow: per-pixel alpha, and the clicks on
// fully transparent pixels go to whatever lies below (the system does that for such windows).
#include "fw/win32/native.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace fw::win32 {

namespace {

BITMAPINFO TopDown32(int w, int h) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;  // rows top to bottom, as fw's bitmaps
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    return bmi;
}

// The picture at size x size, each target pixel the average of the source area it covers
// (premultiplied, so the average is right for alpha too).
std::vector<std::uint32_t> Scaled(const Image& img, int size) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(size) * size);
    const double sx = static_cast<double>(img.width()) / size, sy = static_cast<double>(img.height()) / size;
    for (int y = 0; y < size; ++y) {
        const int y0 = static_cast<int>(y * sy), y1 = std::max(y0 + 1, static_cast<int>((y + 1) * sy));
        for (int x = 0; x < size; ++x) {
            const int x0 = static_cast<int>(x * sx), x1 = std::max(x0 + 1, static_cast<int>((x + 1) * sx));
            std::uint64_t sum[4] = {0, 0, 0, 0};
            int count = 0;
            for (int yy = y0; yy < y1 && yy < img.height(); ++yy) {
                for (int xx = x0; xx < x1 && xx < img.width(); ++xx) {
                    const std::uint32_t p = img.At(xx, yy);
                    for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
                    ++count;
                }
            }
            std::uint32_t v = 0;
            for (int c = 0; c < 4 && count; ++c)
                v |= static_cast<std::uint32_t>((sum[c] + count / 2) / count) << (8 * c);
            out[static_cast<std::size_t>(y) * size + x] = v;
        }
    }
    return out;
}

}  // namespace

void Paint(Native* n) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(n->hwnd, &ps);
    RECT rc;
    GetClientRect(n->hwnd, &rc);
    const int w = rc.right, h = rc.bottom;
    if (n->layered || w <= 0 || h <= 0) {
        EndPaint(n->hwnd, &ps);
        return;
    }
    if (n->back.width() != w || n->back.height() != h)
        n->back.Resize(w, h);
    else
        std::memset(n->back.data(), 0, static_cast<std::size_t>(n->back.stride()) * h);
    HWND hwnd = n->hwnd;
    const Handle handle = n->handle;
    n->owner->PaintInto(n->back);
    if (Alive(handle)) {
        // Premultiplied pixels over black: what a window without alpha shows of them.
        BITMAPINFO bmi = TopDown32(w, h);
        SetDIBitsToDevice(dc, 0, 0, w, h, 0, 0, 0, h, n->back.data(), &bmi, DIB_RGB_COLORS);
    }
    EndPaint(hwnd, &ps);
}

void DropLayered(Native* n) {
    if (n->layeredDib) DeleteObject(n->layeredDib);
    n->layeredDib = nullptr;
    n->layeredBits = nullptr;
    n->layeredW = n->layeredH = 0;
}

HICON IconFromImage(const Image* img, int size) {
    if (!img || !img->valid() || size <= 0) return nullptr;
    const std::vector<std::uint32_t> px = Scaled(*img, size);
    BITMAPV5HEADER h{};
    h.bV5Size = sizeof h;
    h.bV5Width = size;
    h.bV5Height = -size;
    h.bV5Planes = 1;
    h.bV5BitCount = 32;
    h.bV5Compression = BI_BITFIELDS;
    h.bV5RedMask = 0x00FF0000;
    h.bV5GreenMask = 0x0000FF00;
    h.bV5BlueMask = 0x000000FF;
    h.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP color = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!color) return nullptr;
    // Icons take straight (not premultiplied) alpha.
    auto* dst = static_cast<std::uint32_t*>(bits);
    for (std::size_t i = 0; i < px.size(); ++i) dst[i] = Unpremultiply(px[i]);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
    ICONINFO ii{TRUE, 0, 0, mask, color};
    HICON icon = CreateIconIndirect(&ii);
    DeleteObject(color);
    DeleteObject(mask);
    return icon;
}

}  // namespace fw::win32

namespace fw::backend {

using namespace fw::win32;

void Invalidate(Native* n, const Rect* r) {
    if (!n || !n->hwnd || n->layered) return;  // a layered window shows its picture, never paints
    if (r) {
        if (r->IsEmpty()) return;
        RECT rc{r->left, r->top, r->right, r->bottom};
        InvalidateRect(n->hwnd, &rc, FALSE);
    } else {
        InvalidateRect(n->hwnd, nullptr, FALSE);
    }
}

void UpdateNow(Native* n) {
    if (n && n->hwnd && !n->layered) UpdateWindow(n->hwnd);
}

void UpdateLayered(Native* n, const Bitmap& picture) {
    if (!n || !n->hwnd) return;
    const int w = picture.width(), h = picture.height();
    if (w <= 0 || h <= 0) return;
    n->layered = true;
    const LONG ex = GetWindowLongW(n->hwnd, GWL_EXSTYLE);
    if (!(ex & WS_EX_LAYERED)) SetWindowLongW(n->hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);

    HDC screen = GetDC(nullptr);
    if (!n->layeredDib || n->layeredW != w || n->layeredH != h) {
        DropLayered(n);
        BITMAPINFO bmi = TopDown32(w, h);
        n->layeredDib = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &n->layeredBits, nullptr, 0);
        if (!n->layeredDib) {
            ReleaseDC(nullptr, screen);
            return;
        }
        n->layeredW = w;
        n->layeredH = h;
    }
    // fw's 0xAARRGGBB premultiplied pixels are the DIB's BGRA bytes as they stand.
    std::memcpy(n->layeredBits, picture.data(), static_cast<std::size_t>(picture.stride()) * h);
    GdiFlush();
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, n->layeredDib);
    const Point o = Place(n).rect.TopLeft();  // where SetWindowPos puts the window too
    POINT pos{o.x, o.y}, src{0, 0};
    SIZE size{w, h};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ++n->applying;  // fw/common sizes the window to the picture itself
    UpdateLayeredWindow(n->hwnd, screen, &pos, &size, mem, &src, 0, &blend, ULW_ALPHA);
    --n->applying;
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

}  // namespace fw::backend
