// GDI+ start-up, and which font family a face name the client asks for stands for.
#include "fw/windows/windows_api.h"

#include <map>
#include <mutex>
#include <vector>

#include "fw/backend.h"
#include "fw/image.h"
#include "fw/windows/gdiplus.h"
#include "fw/windows/wide.h"

namespace fw {

namespace windows {

bool EnsureGdiplus() {
    static const bool started = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

namespace {

// The Windows names of the Chinese faces, and what stands in for them where they are missing
// (Wine, a system without the East Asian fonts).
const std::vector<std::wstring>* AliasesOf(const std::wstring& face) {
    static const std::vector<std::wstring> kSong = {L"SimSun", L"\u5b8b\u4f53", L"NSimSun", L"\u65b0\u5b8b\u4f53",
                                                    L"Noto Serif CJK SC"};
    static const std::vector<std::wstring> kYaHei = {L"Microsoft YaHei", L"\u5fae\u8f6f\u96c5\u9ed1",
                                                     L"Noto Sans CJK SC"};
    for (const wchar_t* n : {L"SimSun", L"\u5b8b\u4f53", L"NSimSun", L"\u65b0\u5b8b\u4f53"})
        if (CompareStringOrdinal(face.c_str(), -1, n, -1, TRUE) == CSTR_EQUAL) return &kSong;
    for (const wchar_t* n : {L"Microsoft YaHei", L"\u5fae\u8f6f\u96c5\u9ed1"})
        if (CompareStringOrdinal(face.c_str(), -1, n, -1, TRUE) == CSTR_EQUAL) return &kYaHei;
    return nullptr;
}

bool Installed(const std::wstring& family) {
    Gdiplus::FontFamily f(family.c_str());
    return f.GetLastStatus() == Gdiplus::Ok && f.IsAvailable();
}

}  // namespace

std::optional<std::wstring> ResolveFontFamily(std::string_view faceUtf8) {
    if (faceUtf8.empty() || faceUtf8.find('\0') != std::string_view::npos || !EnsureGdiplus()) return std::nullopt;
    static std::mutex mutex;
    static std::map<std::string, std::optional<std::wstring>, std::less<>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    if (auto it = cache.find(faceUtf8); it != cache.end()) return it->second;

    const std::wstring face = Wide(faceUtf8);
    std::optional<std::wstring> found;
    if (Installed(face)) {
        found = face;
    } else if (const auto* aliases = AliasesOf(face)) {
        for (const std::wstring& a : *aliases) {
            if (Installed(a)) {
                found = a;
                break;
            }
        }
    }
    cache.emplace(std::string(faceUtf8), found);
    return found;
}

}  // namespace windows

// The aliases are looked up when a face is resolved: nothing to install beforehand.
void backend::InstallFontAliases() {}

bool Font::Exists() const { return windows::ResolveFontFamily(face).has_value(); }

}  // namespace fw
