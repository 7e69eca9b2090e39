#pragma once
// Plain geometry types shared by every window of the client.

namespace fw {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle holds a point when left <= x < right and top <= y < bottom.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
    constexpr bool Contains(Point p) const { return left <= p.x && p.x < right && top <= p.y && p.y < bottom; }
    constexpr Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    constexpr Point TopLeft() const { return {left, top}; }
    static constexpr Rect FromXYWH(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }
    // Intersection; empty (all zero) when the two do not overlap.
    constexpr Rect Intersect(const Rect& o) const {
        Rect r{left > o.left ? left : o.left, top > o.top ? top : o.top, right < o.right ? right : o.right,
               bottom < o.bottom ? bottom : o.bottom};
        return r.IsEmpty() ? Rect{} : r;
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace fw
