// Small helpers for building the portal's HTML pages.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace portal {

// Escapes & < > " ' for text and attribute values.
std::string HtmlEscape(std::string_view text);

// Fills a template: every "{{KEY}}" is replaced by the value given for KEY.
// Values are inserted as they are (escape them first). Placeholders without
// a value are left in place, so a typo shows up in the page.
std::string Fill(std::string_view tmpl, std::initializer_list<std::pair<std::string_view, std::string>> values);

// The host (and port) that links in a page should point at: the request's
// Host header when it looks like a host name or address, else the fallback.
std::string LinkHost(std::string_view host_header, std::string_view fallback);

// Percent-encodes everything except unreserved characters (RFC 3986).
std::string UrlEncode(std::string_view text);

// Fonts used by every page; Chinese faces first, then what Linux has.
inline constexpr std::string_view kFontStack =
    "\"Microsoft YaHei\",\"微软雅黑\",\"PingFang SC\",\"Noto Sans CJK SC\","
    "\"Source Han Sans SC\",\"WenQuanYi Micro Hei\",sans-serif";

}  // namespace portal
