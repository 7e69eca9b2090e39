#pragma once
// Text conversions. The client keeps its strings in UTF-8; the platform layers
// convert at their edges.
#include <cstddef>
#include <string>
#include <string_view>

namespace fw {

// UTF-8 -> UTF-16. Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view s);
// Replaces every invalid UTF-8 sequence by U+FFFD.
std::string SanitizeUtf8(std::string_view s);
// Number of UTF-16 code units the UTF-8 text needs.
std::size_t Utf16Length(std::string_view s);
// The longest prefix of s that has at most n UTF-16 units (never splits a character).
std::string Utf8PrefixUtf16Units(std::string_view s, std::size_t n);

// Code page 936 (simplified Chinese, GBK) for the few byte strings the chat library needs.
std::string Utf8ToCp936(std::string_view s);
std::string Cp936ToUtf8(std::string_view s);
// The system's narrow character set (on Linux: the locale's; on Windows: the ANSI code page).
std::string Utf8ToSystem(std::string_view s);
std::string SystemToUtf8(std::string_view s);

// Trims characters for which iswspace is true (blank, tab, newline, vertical tab, form feed,
// carriage return and the other Unicode spaces).
std::string TrimSpace(std::string_view s);

// Text from outside (a page, a file) as a line of standard error may show it: at most 160
// bytes, followed by "..." when cut, with control characters as '?'.
std::string ShownInLog(std::string_view s);

}  // namespace fw
