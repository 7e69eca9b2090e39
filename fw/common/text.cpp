// Text conversions between UTF-8 and UTF-16 with replacement of invalid input, and
// Unicode-aware trimming. The code-page conversions are platform work
// (posix/charset_posix.cpp).
#include "fw/text.h"

#include <cstdint>

namespace fw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at s[i]. Invalid input yields U+FFFD and consumes the maximal
// subpart of the ill-formed sequence (at least one byte), as the Unicode standard
// recommends, so one bad byte never swallows the valid text after it.
char32_t DecodeUtf8(std::string_view s, std::size_t i, std::size_t& len) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        len = 1;
        return b0;
    }
    int need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;  // overlong
        else if (b0 == 0xED)
            hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;  // overlong
        else if (b0 == 0xF4)
            hi = 0x8F;  // beyond U+10FFFF
    } else {
        len = 1;  // continuation byte, C0/C1 (always overlong) or F5..FF
        return kReplacement;
    }
    std::size_t k = 1;
    for (int n = 0; n < need; ++n, ++k) {
        if (i + k >= s.size()) {
            len = k;
            return kReplacement;
        }
        const auto b = static_cast<unsigned char>(s[i + k]);
        const unsigned char l = n == 0 ? lo : 0x80;
        const unsigned char h = n == 0 ? hi : 0xBF;
        if (b < l || b > h) {
            len = k;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    len = k;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Whitespace as glibc's iswspace has it in a UTF-8 locale (no-break spaces excluded).
bool IsSpace(char32_t c) {
    if (c == 0x20 || (c >= 0x09 && c <= 0x0D)) return true;
    if (c < 0x1680) return false;
    return c == 0x1680 || (c >= 0x2000 && c <= 0x2006) || (c >= 0x2008 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x205F || c == 0x3000;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = 1;
        char32_t cp = DecodeUtf8(s, i, len);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size() * 3);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string SanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t clean = 0;  // start of the run of valid bytes not yet copied
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = 1;
        char32_t cp = DecodeUtf8(s, i, len);
        if (cp == kReplacement && !(len == 3 && s.compare(i, 3, "\xEF\xBF\xBD") == 0)) {
            out.append(s.substr(clean, i - clean));
            AppendUtf8(out, kReplacement);
            clean = i + len;
        }
        i += len;
    }
    out.append(s.substr(clean));
    return out;
}

std::size_t Utf16Length(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = 1;
        char32_t cp = DecodeUtf8(s, i, len);
        n += cp >= 0x10000 ? 2 : 1;
        i += len;
    }
    return n;
}

std::string Utf8PrefixUtf16Units(std::string_view s, std::size_t n) {
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t len = 1;
        char32_t cp = DecodeUtf8(s, i, len);
        std::size_t u = cp >= 0x10000 ? 2 : 1;
        if (units + u > n) break;
        units += u;
        i += len;
    }
    return std::string(s.substr(0, i));
}

std::string TrimSpace(std::string_view s) {
    std::size_t begin = s.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = 1;
        char32_t cp = DecodeUtf8(s, i, len);
        // Bytes of an invalid sequence are kept: only real space characters are trimmed.
        bool invalid = cp == kReplacement && !(len == 3 && s.compare(i, 3, "\xEF\xBF\xBD") == 0);
        if (invalid || !IsSpace(cp)) {
            if (begin == s.size()) begin = i;
            end = i + len;
        }
        i += len;
    }
    if (begin >= end) return {};
    return std::string(s.substr(begin, end - begin));
}

std::string ShownInLog(std::string_view s) {
    constexpr std::size_t kShown = 160;
    std::string shown;
    for (char c : s.substr(0, kShown)) shown.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    if (s.size() > kShown) shown += "...";
    return shown;
}

}  // namespace fw
