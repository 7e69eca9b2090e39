#pragma once
// The framework's UTF-8 text to and from the system's wide strings (a wchar_t is one UTF-16
// unit on Windows). Invalid UTF-8 and unpaired surrogates become U+FFFD.
#include <string>
#include <string_view>

#include "fw/text.h"

namespace fw::windows {

inline std::wstring Wide(std::string_view utf8) {
    const std::u16string u = Utf8ToUtf16(utf8);
    return std::wstring(u.begin(), u.end());
}

inline std::string Narrow(std::wstring_view w) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
}

}  // namespace fw::windows
