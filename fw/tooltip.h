#pragma once
// A tool tip: one small text box per window, shown by hand near the mouse (below and to the
// right of the point, kept on the screen) and hidden again by hand. It never takes the
// focus or the mouse. A tip goes away with its window, and hides when the window hides.
#include <string>

#include "fw/geometry.h"
#include "fw/window.h"

namespace fw {

// Shows the window's tip with this text near `client` (the mouse position in the window's
// client coordinates), or moves it there with the new text when it is already up. An empty
// text, or a window that is hidden or minimised, shows nothing (a tip already up hides).
void ShowTooltip(Window& w, const std::string& text, Point client);
void HideTooltip(Window& w);
bool TooltipVisible(const Window& w);

}  // namespace fw
