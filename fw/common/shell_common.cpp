// The portable part of the shell: which addresses may go to the default browser.
#include "fw/shell.h"

namespace fw {

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

}  // namespace fw
