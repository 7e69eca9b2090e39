#pragma once
// The launcher's layout: the hit rectangles of its six buttons and its web area (where the
// page dialog sits), in the launcher's window coordinates, which are the pixels of its skin
// picture (IDB_LAUNCHER_BG, 1290x704). These numbers are written here and nowhere else: the
// launcher (app/main_wnd.cpp), the skin generator that draws the pictures they fit
// (tools/skingen) and the C++ tests include this header; the build writes it out as
// launcher_layout.json in the build folder (tools/launcher_layout) for the Python tests and
// tools (tests/e2e/harness.py).
//
// Constants over fw/geometry.h alone, so that a program outside the client (the skin
// generator) can include it as well.
#include "fw/geometry.h"

namespace shared::launcher_layout {

// The buttons, in the order the launcher draws them and tests a point against them: the
// first that holds the point has it. (The minimise button's right column, x 1094, lies on the
// close button's left one: drawn as the minimise button's, it is the close button's to click.)
enum Button { kClose = 0, kMin, kOfficial, kPay, kService, kForum, kButtonCount };

struct ButtonPlace {
    const char* name;  // its key in launcher_layout.json
    fw::Rect rect;     // a point is on the button when rect.Contains(point)
};

inline constexpr ButtonPlace kButtons[kButtonCount] = {
    {"close", {1094, 124, 1129, 158}},   // 35 x 34
    {"min", {1068, 126, 1095, 154}},     // 27 x 28
    {"official", {365, 147, 520, 202}},  // the four links: 155 x 55 each
    {"pay", {521, 147, 676, 202}},      {"service", {965, 147, 1120, 202}}, {"forum", {810, 147, 965, 202}},
};

constexpr fw::Rect ButtonRect(Button b) { return kButtons[b].rect; }

// The web area: the skin's opaque black page area, which the page dialog covers (788 x 387).
inline constexpr fw::Rect kWebArea{345, 196, 1133, 583};

}  // namespace shared::launcher_layout
