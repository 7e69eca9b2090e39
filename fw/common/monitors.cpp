#include "fw/common/monitors.h"

#include <algorithm>

namespace fw::detail {

namespace {

// The gap between two rectangles along one axis (0 when they overlap on it), widened so
// that rectangles far out of the int range still compare.
long long Gap(int aLow, int aHigh, int bLow, int bHigh) {
    if (aHigh <= bLow) return static_cast<long long>(bLow) - aHigh;
    if (bHigh <= aLow) return static_cast<long long>(aLow) - bHigh;
    return 0;
}

}  // namespace

Rect MonitorWorkAreaIn(const std::vector<Monitor>& monitors, const Rect& r) {
    const Monitor* best = nullptr;
    long long bestArea = 0;
    for (const Monitor& m : monitors) {
        const Rect part = m.area.Intersect(r);
        const long long area = static_cast<long long>(part.Width()) * part.Height();
        if (area > bestArea) {
            best = &m;
            bestArea = area;
        }
    }
    if (best) return best->work;
    long long bestDistance = 0;
    for (const Monitor& m : monitors) {
        const long long dx = Gap(r.left, r.right, m.area.left, m.area.right);
        const long long dy = Gap(r.top, r.bottom, m.area.top, m.area.bottom);
        const long long distance = dx * dx + dy * dy;
        if (!best || distance < bestDistance) {
            best = &m;
            bestDistance = distance;
        }
    }
    return best ? best->work : Rect{};
}

bool OnSomeMonitorIn(const std::vector<Monitor>& monitors, const Rect& r, int margin) {
    margin = std::max(margin, 1);
    return std::any_of(monitors.begin(), monitors.end(), [&](const Monitor& m) {
        const Rect part = m.area.Intersect(r);
        return part.Width() >= margin && part.Height() >= margin;
    });
}

}  // namespace fw::detail
