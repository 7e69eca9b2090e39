// Code-page conversions through the system: GBK (code page 936) and the ANSI code page. A
// character the target cannot hold, or a byte sequence that is not valid in the source,
// becomes one '?'; the conversion goes on after it.
#include "fw/windows/windows_api.h"

#include "fw/text.h"

namespace fw {

namespace {

constexpr UINT kGbk = 936;

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// One code point of valid UTF-16 at `i`: its length in units.
std::size_t UnitsAt(const std::u16string& w, std::size_t i) {
    return (w[i] >= 0xD800 && w[i] <= 0xDBFF && i + 1 < w.size()) ? 2 : 1;
}

// Whether the code page holds this one character: converted back it must be the same.
std::string OneToBytes(UINT cp, const wchar_t* ch, int n) {
    char buf[16];
    BOOL lossy = FALSE;
    int got = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, ch, n, buf, sizeof buf, nullptr, &lossy);
    if (got <= 0 || lossy) return "?";
    return std::string(buf, static_cast<std::size_t>(got));
}

std::string FromUtf8(std::string_view utf8, UINT cp) {
    if (IsAscii(utf8)) return std::string(utf8);
    const std::u16string w = Utf8ToUtf16(utf8);  // invalid UTF-8 is U+FFFD by now
    const auto* wp = reinterpret_cast<const wchar_t*>(w.data());
    // Whole text in one call when every character has its bytes.
    BOOL lossy = FALSE;
    const int need =
        WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wp, static_cast<int>(w.size()), nullptr, 0, nullptr, &lossy);
    if (need > 0 && !lossy) {
        std::string out(static_cast<std::size_t>(need), '\0');
        WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wp, static_cast<int>(w.size()), out.data(), need, nullptr,
                            nullptr);
        return out;
    }
    // Otherwise character by character: one '?' for each that the page lacks (a character
    // outside the basic plane is one character, not two).
    std::string out;
    for (std::size_t i = 0; i < w.size();) {
        const std::size_t n = UnitsAt(w, i);
        out += OneToBytes(cp, wp + i, static_cast<int>(n));
        i += n;
    }
    return out;
}

std::string ToUtf8(std::string_view bytes, UINT cp) {
    if (IsAscii(bytes)) return std::string(bytes);
    const int len = static_cast<int>(bytes.size());
    int need = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), len, nullptr, 0);
    if (need > 0) {
        std::wstring w(static_cast<std::size_t>(need), L'\0');
        MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), len, w.data(), need);
        return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
    }
    // Some bytes are not valid: unit by unit (a lead byte with its trail byte, or one byte).
    std::u16string out;
    for (int i = 0; i < len;) {
        int n = (IsDBCSLeadByteEx(cp, static_cast<BYTE>(bytes[i])) && i + 1 < len) ? 2 : 1;
        wchar_t ch[2];
        int got = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data() + i, n, ch, 2);
        if (got <= 0 && n == 2) {
            n = 1;  // a lead byte whose trail does not fit: the lead byte alone is bad
            got = 0;
        }
        if (got > 0)
            out.append(reinterpret_cast<const char16_t*>(ch), static_cast<std::size_t>(got));
        else
            out += u'?';
        i += n;
    }
    return Utf16ToUtf8(out);
}

}  // namespace

std::string Utf8ToCp936(std::string_view s) { return FromUtf8(s, kGbk); }
std::string Cp936ToUtf8(std::string_view s) { return ToUtf8(s, kGbk); }

std::string Utf8ToSystem(std::string_view s) {
    const UINT cp = GetACP();
    return cp == CP_UTF8 ? SanitizeUtf8(s) : FromUtf8(s, cp);
}

std::string SystemToUtf8(std::string_view s) {
    const UINT cp = GetACP();
    return cp == CP_UTF8 ? SanitizeUtf8(s) : ToUtf8(s, cp);
}

}  // namespace fw
