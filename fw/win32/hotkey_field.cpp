// The hot-key field on Win32: the system's hot-key control (msctls_hotkey32) as a child of
// the window, with its own font. The keys typed into it pass the window's pre-translation
// first (app.cpp), so a dialog keeps Return and Escape for itself.
#include "fw/win32/native.h"

#include "fw/hotkey_field.h"
#include "fw/windows/wide.h"

namespace fw {

namespace {

// WS_CHILD | WS_VISIBLE | WS_TABSTOP, and the control's low style bit the dialog sets.
constexpr DWORD kFieldStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | 0x8;

class Win32HotKeyField final : public HotKeyField {
public:
    ~Win32HotKeyField() override {
        if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
        if (font_) DeleteObject(font_);
    }

    bool Make(Window& parent, int id, const Rect& rect, const std::string& face, int pointSize) {
        HWND parentHwnd = win32::HwndOf(parent.handle());
        if (!parentHwnd) return false;
        hwnd_ =
            CreateWindowExW(0, HOTKEY_CLASSW, L"", kFieldStyle, rect.left, rect.top, rect.Width(), rect.Height(),
                            parentHwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), win32::Instance(), nullptr);
        if (!hwnd_) return false;
        HDC dc = GetDC(parentHwnd);
        const int height = -MulDiv(pointSize, GetDeviceCaps(dc, LOGPIXELSY), 72);
        ReleaseDC(parentHwnd, dc);
        font_ =
            CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, windows::Wide(face).c_str());
        if (font_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        return true;
    }

    void SetHotKey(unsigned vk, unsigned flags) override {
        if (IsWindow(hwnd_)) SendMessageW(hwnd_, HKM_SETHOTKEY, MAKEWORD(vk & 0xFF, flags & 0xFF), 0);
    }
    void GetHotKey(unsigned& vk, unsigned& flags) const override {
        const auto v = IsWindow(hwnd_) ? static_cast<WORD>(SendMessageW(hwnd_, HKM_GETHOTKEY, 0, 0)) : WORD{0};
        vk = LOBYTE(v);
        flags = HIBYTE(v);
    }
    // The combination by the keyboard's key names; an empty one reads "无", as the client
    // names no key.
    std::string Text() const override {
        unsigned vk = 0, flags = 0;
        GetHotKey(vk, flags);
        std::string t = HotKeyName(vk, flags);
        return t.empty() ? "无" : t;
    }
    void Focus() override {
        if (IsWindow(hwnd_)) ::SetFocus(hwnd_);
    }

private:
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
};

}  // namespace

std::unique_ptr<HotKeyField> HotKeyField::Create(Window& parent, int id, const Rect& rect, const std::string& face,
                                                 int pointSize) {
    auto f = std::make_unique<Win32HotKeyField>();
    if (!f->Make(parent, id, rect, face, pointSize)) return nullptr;
    return f;
}

}  // namespace fw
