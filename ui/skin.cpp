#include "ui/skin.h"

#include "fw/resources.h"
#include "fw/system.h"

namespace ui {

bool LoadSkinImage(int id, std::unique_ptr<fw::Image>& out) {
    auto bytes = fw::FindResource(id, "PNG");
    if (bytes.empty()) return false;
    out = fw::Image::FromPng(bytes);
    return out != nullptr;
}

void DrawImageStretched(const fw::Image* img, fw::Canvas& c, int left, int top, int right, int bottom) {
    if (!img) return;
    c.DrawImage(img, fw::Rect{left, top, right, bottom}, fw::Rect{0, 0, img->width(), img->height()});
}

void DrawSlice(fw::Canvas& c, const fw::Image* img, const fw::Rect& r, int n, Strip orientation) {
    if (!img) return;
    int w = r.Width(), h = r.Height();
    fw::Rect src = orientation == Strip::Vertical ? fw::Rect::FromXYWH(0, n * h, w, h)
                                                  : fw::Rect::FromXYWH(n * w, 0, w, h);
    c.DrawImage(img, fw::Rect::FromXYWH(r.left, r.top, w, h), src);
}

namespace {
std::string& ModuleDirOverride() {
    static std::string dir;
    return dir;
}
}  // namespace

std::string GetModuleDir() {
    const std::string& o = ModuleDirOverride();
    return o.empty() ? fw::GetModuleDir() : o;
}

void SetModuleDirForTesting(const std::string& dir) { ModuleDirOverride() = dir; }

int SkinButtonAt(const std::vector<SkinButton*>& buttons, fw::Point p) {
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i]->rect.Contains(p)) return static_cast<int>(i);
    return -1;
}

std::vector<fw::Rect> SkinButtonsMouseMove(std::vector<SkinButton*>& buttons, fw::Point p) {
    std::vector<fw::Rect> dirty;
    int at = SkinButtonAt(buttons, p);
    if (at >= 0) {
        SkinButton* b = buttons[static_cast<size_t>(at)];
        if (b->state != 0) return dirty;
        for (SkinButton* o : buttons) {
            if (o != b && o->state != 0) {
                o->state = 0;
                dirty.push_back(o->rect);
            }
        }
        b->state = 1;
        dirty.push_back(b->rect);
        return dirty;
    }
    for (SkinButton* o : buttons) {
        o->state = 0;
        dirty.push_back(o->rect);
    }
    return dirty;
}

}  // namespace ui
