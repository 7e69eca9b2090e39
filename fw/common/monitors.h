#pragma once
// Which monitor a rectangle belongs to, from the list of monitors a back end reads from its
// system: the rules behind fw::MonitorWorkArea and fw::OnSomeMonitor, written once for every
// back end.
#include <vector>

#include "fw/geometry.h"

namespace fw::detail {

struct Monitor {
    Rect area;  // the whole monitor, in screen coordinates
    Rect work;  // the monitor less task bars
};

// The work area of the monitor holding the largest part of `r`; of the nearest monitor when
// `r` is on none (the first of equals wins); empty without monitors.
Rect MonitorWorkAreaIn(const std::vector<Monitor>& monitors, const Rect& r);
// Whether some part of `r` at least `margin` pixels wide and high lies on one monitor.
bool OnSomeMonitorIn(const std::vector<Monitor>& monitors, const Rect& r, int margin);

}  // namespace fw::detail
