#include "html.h"

namespace portal {

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out.append("&amp;"); break;
        case '<': out.append("&lt;"); break;
        case '>': out.append("&gt;"); break;
        case '"': out.append("&quot;"); break;
        case '\'': out.append("&#39;"); break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string Fill(std::string_view tmpl, std::initializer_list<std::pair<std::string_view, std::string>> values) {
    std::string out;
    out.reserve(tmpl.size() + 256);
    size_t pos = 0;
    while (pos < tmpl.size()) {
        const size_t open = tmpl.find("{{", pos);
        if (open == std::string_view::npos) break;
        const size_t close = tmpl.find("}}", open + 2);
        if (close == std::string_view::npos) break;
        const std::string_view key = tmpl.substr(open + 2, close - open - 2);
        const std::string* value = nullptr;
        for (const auto& [k, v] : values) {
            if (k == key) {
                value = &v;
                break;
            }
        }
        out.append(tmpl.substr(pos, open - pos));
        if (value) {
            out.append(*value);
        } else {
            out.append(tmpl.substr(open, close + 2 - open));
        }
        pos = close + 2;
    }
    out.append(tmpl.substr(pos));
    return out;
}

std::string LinkHost(std::string_view host, std::string_view fallback) {
    if (host.empty() || host.size() > 255) return std::string(fallback);
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == ':' || c == '[' || c == ']';
        if (!ok) return std::string(fallback);
    }
    return std::string(host);
}

std::string UrlEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == '_' || c == '~';
        if (keep) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

}  // namespace portal
