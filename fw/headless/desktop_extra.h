#pragma once
// More of the headless desktop for tests: what the tool tips of fw/tooltip.h show.
//
// A tip is down while its window is hidden or minimised, and stays down once that has been
// seen (by any call about the window's tip): the headless desktop does not tell the tips when
// a window hides, so a tip whose window was hidden and shown again without any such call in
// between still counts as up.
#include <string>

#include "fw/geometry.h"
#include "fw/window.h"

namespace fw::headless {

// The text the window's tool tip shows; "" while it is down (or the window never had one).
std::string TooltipText(const Window& w);
// Where the tip was last asked to show, in the window's client coordinates ((0, 0) when it
// never was).
Point TooltipPoint(const Window& w);

}  // namespace fw::headless
