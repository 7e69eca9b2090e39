// Which addresses are web addresses (the rule for everything a page hands the client to open),
// and the line on standard error for one that is refused.
#include <cstdio>
#include <string_view>

#include "fw/shell.h"
#include "fw/text.h"

namespace fw {

namespace detail {
void LogRefusedAddress(const char* what, const char* why, const std::string& url) {
    std::fprintf(stderr, "raduvove: %s refused (%s): %s\n", what, why, ShownInLog(url).c_str());
}
}  // namespace detail

bool IsWebAddress(const std::string& url) {
    // The scheme is the text as given up to the first ':'; leading blanks make it no scheme.
    auto scheme = [&](std::string_view s) {
        if (url.size() <= s.size() || url[s.size()] != ':') return false;
        for (std::size_t i = 0; i < s.size(); ++i) {
            char c = url[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != s[i]) return false;
        }
        return true;
    };
    return scheme("http") || scheme("https");
}

bool RequireWebAddress(const std::string& url, const char* what) {
    if (IsWebAddress(url)) return true;
    detail::LogRefusedAddress(what, "not a web address", url);
    return false;
}

}  // namespace fw
