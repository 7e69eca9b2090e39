// Code-page conversions through iconv: GBK (code page 936) and the locale's character set.
// A character the target cannot hold, or a byte sequence that is not valid in the source,
// becomes '?'; the conversion goes on after it.
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

#include <cerrno>
#include <initializer_list>

#include "fw/text.h"

namespace fw {

namespace {

// Length of the code point that starts valid UTF-8 text.
std::size_t Utf8CharLength(std::string_view s) {
    const auto b = static_cast<unsigned char>(s[0]);
    std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    return n <= s.size() ? n : s.size();
}

std::size_t OneByte(std::string_view) { return 1; }

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // `step` tells how many input bytes a bad unit occupies.
    std::string Run(std::string_view in, std::size_t (*step)(std::string_view)) {
        std::string out;
        out.reserve(in.size() * 2 + 8);
        char buf[1024];
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        while (left > 0) {
            char* dst = buf;
            std::size_t room = sizeof buf;
            std::size_t r = iconv(cd_, &src, &left, &dst, &room);
            int err = errno;
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r != static_cast<std::size_t>(-1)) break;
            if (err == E2BIG) continue;
            // EILSEQ: an unconvertible or invalid unit; EINVAL: an incomplete one at the end.
            std::size_t skip = err == EINVAL ? left : step(std::string_view(src, left));
            if (skip == 0 || skip > left) skip = left;
            src += skip;
            left -= skip;
            out += '?';
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        }
        char* dst = buf;
        std::size_t room = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &room);  // flush a shift state, if any
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return out;
    }

private:
    iconv_t cd_;
};

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string FromUtf8(std::string_view utf8, std::initializer_list<const char*> charsets) {
    std::string clean = SanitizeUtf8(utf8);
    for (const char* cs : charsets) {
        Converter c(cs, "UTF-8");
        if (c.ok()) return c.Run(clean, Utf8CharLength);
    }
    // No converter: keep ASCII, one '?' per other character.
    std::string out;
    for (std::size_t i = 0; i < clean.size();) {
        std::size_t n = Utf8CharLength(std::string_view(clean).substr(i));
        out += n == 1 ? clean[i] : '?';
        i += n;
    }
    return out;
}

std::string ToUtf8(std::string_view bytes, std::initializer_list<const char*> charsets) {
    for (const char* cs : charsets) {
        Converter c("UTF-8", cs);
        if (c.ok()) return SanitizeUtf8(c.Run(bytes, OneByte));
    }
    std::string out;
    for (char ch : bytes) out += static_cast<unsigned char>(ch) < 0x80 ? ch : '?';
    return out;
}

// The locale's character set (setlocale decides; the C locale gives ASCII).
const char* SystemCharset() {
    const char* cs = nl_langinfo(CODESET);
    return cs && *cs ? cs : "ASCII";
}

bool IsUtf8Charset(const char* cs) { return strcasecmp(cs, "UTF-8") == 0 || strcasecmp(cs, "UTF8") == 0; }

}  // namespace

std::string Utf8ToCp936(std::string_view s) { return FromUtf8(s, {"CP936", "GBK"}); }
std::string Cp936ToUtf8(std::string_view s) { return ToUtf8(s, {"CP936", "GBK"}); }

std::string Utf8ToSystem(std::string_view s) {
    const char* cs = SystemCharset();
    if (IsUtf8Charset(cs)) return SanitizeUtf8(s);
    if (IsAscii(s)) return std::string(s);
    return FromUtf8(s, {cs});
}

std::string SystemToUtf8(std::string_view s) {
    const char* cs = SystemCharset();
    if (IsUtf8Charset(cs)) return SanitizeUtf8(s);
    if (IsAscii(s)) return std::string(s);
    return ToUtf8(s, {cs});
}

}  // namespace fw
