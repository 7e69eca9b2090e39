#include "ui/skin.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "fw/resources.h"
#include "fw/system.h"

namespace ui {

namespace {

// Pictures decoded ahead of their first use. An id is in `pictures` from the preload's start:
// empty while its decoding is still to come, then with its result (null when the resource
// does not exist).
struct Preloads {
    std::mutex mutex;
    std::condition_variable ready;
    std::map<int, std::optional<std::unique_ptr<fw::Image>>> pictures;
};

Preloads& ThePreloads() {
    // Never destroyed: a decoding thread may still run while the program ends.
    static auto* p = new Preloads;
    return *p;
}

std::unique_ptr<fw::Image> Decode(int id) {
    auto bytes = fw::FindResource(id, "PNG");
    if (bytes.empty()) return nullptr;
    return fw::Image::FromPng(bytes);
}

// True when `id` was preloaded: `out` then holds its result (null when it does not exist),
// which is no longer kept.
bool TakePreloaded(int id, std::unique_ptr<fw::Image>& out) {
    Preloads& p = ThePreloads();
    std::unique_lock<std::mutex> lock(p.mutex);
    auto it = p.pictures.find(id);
    if (it == p.pictures.end()) return false;
    p.ready.wait(lock, [&] { return it->second.has_value(); });
    out = std::move(*it->second);
    p.pictures.erase(it);
    return true;
}

}  // namespace

void PreloadSkinImages(const std::vector<int>& ids) {
    Preloads& p = ThePreloads();
    std::vector<int> mine;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        for (int id : ids)
            if (p.pictures.emplace(id, std::nullopt).second) mine.push_back(id);
    }
    if (mine.empty()) return;
    auto work = [mine] {
        Preloads& p = ThePreloads();
        for (int id : mine) {
            std::unique_ptr<fw::Image> img = Decode(id);
            {
                std::lock_guard<std::mutex> lock(p.mutex);
                auto it = p.pictures.find(id);
                if (it != p.pictures.end()) it->second = std::move(img);
            }
            p.ready.notify_all();
        }
    };
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the pictures are decoded when they are asked for.
        std::lock_guard<std::mutex> lock(p.mutex);
        for (int id : mine) p.pictures.erase(id);
    }
}

bool LoadSkinImage(int id, std::unique_ptr<fw::Image>& out) {
    std::unique_ptr<fw::Image> img;
    if (!TakePreloaded(id, img)) img = Decode(id);
    if (!img) return false;
    out = std::move(img);
    return true;
}

void DrawImageStretched(const fw::Image* img, fw::Canvas& c, int left, int top, int right, int bottom) {
    if (!img) return;
    c.DrawImage(img, fw::Rect{left, top, right, bottom}, fw::Rect{0, 0, img->width(), img->height()});
}

void DrawSlice(fw::Canvas& c, const fw::Image* img, const fw::Rect& r, int n, Strip orientation) {
    if (!img) return;
    int w = r.Width(), h = r.Height();
    fw::Rect src =
        orientation == Strip::Vertical ? fw::Rect::FromXYWH(0, n * h, w, h) : fw::Rect::FromXYWH(n * w, 0, w, h);
    c.DrawImage(img, fw::Rect::FromXYWH(r.left, r.top, w, h), src);
}

namespace {

// The skin's gold and the dark of its engraving.
constexpr std::uint32_t kStatusGold = 0xFFEAC680;
constexpr std::uint32_t kStatusShadow = 0xE0000000;
constexpr int kStatusGap = 14;    // between the text and a diamond
constexpr int kStatusLine = 120;  // length of a hairline
constexpr int kDiamondRadius = 3;

// The rectangle of the pixels `text` inks when drawn at (0, 0); empty when it inks none.
fw::Rect InkBounds(const std::string& text, const fw::Font& font, int maxWidth) {
    fw::Bitmap scratch(maxWidth, font.pixelSize * 3);
    fw::Canvas c(scratch);
    c.Clear(0);
    c.DrawText(text, font, 0xFFFFFFFF, fw::Point{0, 0});
    int left = scratch.width(), top = scratch.height(), right = -1, bottom = -1;
    for (int y = 0; y < scratch.height(); ++y)
        for (int x = 0; x < scratch.width(); ++x)
            if (scratch.At(x, y) >> 24) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    return right < 0 ? fw::Rect{} : fw::Rect{left, top, right + 1, bottom + 1};
}

void Diamond(fw::Canvas& c, int cx, int cy, std::uint32_t argb) {
    for (int dy = -kDiamondRadius; dy <= kDiamondRadius; ++dy) {
        const int half = kDiamondRadius - (dy < 0 ? -dy : dy);
        c.FillRect(fw::Rect{cx - half, cy + dy, cx + half + 1, cy + dy + 1}, argb);
    }
}

// A hairline from x0 (strong) to x1 (gone), either way along the row y.
void FadingLine(fw::Canvas& c, int x0, int x1, int y) {
    const int n = x0 < x1 ? x1 - x0 : x0 - x1;
    const int step = x0 < x1 ? 1 : -1;
    for (int k = 0; k < n; ++k) {
        const std::uint32_t alpha = static_cast<std::uint32_t>(0xC0 * (n - k) / n);
        const int x = x0 + k * step;
        c.FillRect(fw::Rect{x, y, x + 1, y + 1}, (alpha << 24) | (kStatusGold & 0xFFFFFF));
    }
}

}  // namespace

void DrawStatusLine(fw::Canvas& c, const fw::Rect& area, const std::string& text) {
    if (text.empty() || area.IsEmpty()) return;
    const fw::Font font{"宋体", 17, true};
    const fw::Rect ink = InkBounds(text, font, area.Width());
    if (ink.IsEmpty()) return;
    // The ink, not the font's box, is centred: what the eye sees sits in the middle.
    const int x = area.left + (area.Width() - ink.Width()) / 2 - ink.left;
    const int y = area.top + (area.Height() - ink.Height()) / 2 - ink.top;
    c.DrawText(text, font, kStatusShadow, fw::Point{x + 1, y + 1});
    c.DrawText(text, font, kStatusGold, fw::Point{x, y});

    const int mid = area.top + area.Height() / 2;
    const int textLeft = x + ink.left, textRight = x + ink.right;
    const int leftDiamond = textLeft - kStatusGap, rightDiamond = textRight + kStatusGap;
    Diamond(c, leftDiamond, mid, kStatusGold);
    Diamond(c, rightDiamond, mid, kStatusGold);
    const int gap = kDiamondRadius + 3;
    FadingLine(c, std::max(leftDiamond - gap, area.left), std::max(leftDiamond - gap - kStatusLine, area.left), mid);
    FadingLine(c, std::min(rightDiamond + gap, area.right), std::min(rightDiamond + gap + kStatusLine, area.right),
               mid);
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
