#pragma once
// The skin toolkit shared by the skinned windows: pictures from the embedded PNG resources,
// whole-image and strip-slice drawing, the skin-button mouse pattern and the module folder.
#include <memory>
#include <string>
#include <vector>

#include "fw/canvas.h"
#include "fw/geometry.h"
#include "fw/image.h"

namespace ui {

// Loads PNG resource `id` into `out`. False (and `out` untouched) when the resource does not
// exist. Bytes that do not decode still give an image object, which draws nothing.
bool LoadSkinImage(int id, std::unique_ptr<fw::Image>& out);

// Starts decoding the given PNG resources on a thread of their own, so that the pictures a
// window needs first are ready when it asks for them (the toolkit starts meanwhile). A later
// LoadSkinImage of one of them waits for it if needed and takes it; each preloaded picture
// is taken once (a second LoadSkinImage decodes it again). Ids already waiting are skipped.
void PreloadSkinImages(const std::vector<int>& ids);

// The whole image scaled into (left, top)-(right, bottom). Nothing for a null image.
void DrawImageStretched(const fw::Image* img, fw::Canvas& c, int left, int top, int right, int bottom);

enum class Strip { Vertical, Horizontal };
// Slice n of a strip, the slice being as large as the rectangle, drawn unscaled into it.
void DrawSlice(fw::Canvas& c, const fw::Image* img, const fw::Rect& r, int n, Strip orientation);

// A line of status text in the skin's style, centred in `area` (a dark part of the skin): gold
// serif characters with a shadow, between two gold hairlines that fade out, each with a
// small diamond at the text's side. Nothing for an empty text.
void DrawStatusLine(fw::Canvas& c, const fw::Rect& area, const std::string& text);

// The executable's folder with its trailing separator.
std::string GetModuleDir();
// Tests run the windows against a folder of their own (empty text: the real folder again).
void SetModuleDirForTesting(const std::string& dir);

// An image button of a skinned window: strip, rectangle and state (0 normal, 1 hover,
// 2 pressed).
struct SkinButton {
    std::unique_ptr<fw::Image> image;
    fw::Rect rect{};
    int state = 0;
};

// The common mouse-move rule of skinned windows: entering a button at state 0 sets it to 1
// and every other button to 0 (the highlight moves in one step); a button already at a
// non-zero state changes nothing; outside every button all states drop to 0 (on every such
// move). Answers the rectangles to repaint.
std::vector<fw::Rect> SkinButtonsMouseMove(std::vector<SkinButton*>& buttons, fw::Point p);
// The index of the button holding p, or -1.
int SkinButtonAt(const std::vector<SkinButton*>& buttons, fw::Point p);

}  // namespace ui
