// The texts of the protocol with the customer-service server (im_client.h): host names, form
// encoding and what the server's answers say.
#include "supportim/protocol.h"

#include <charconv>

namespace supportim {

bool ParseSeq(std::string_view s, uint64_t* out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return !s.empty() && ec == std::errc() && p == s.data() + s.size();
}

std::string InstanceOf(std::string_view body) {
    const std::string_view first = body.substr(0, body.find('\n'));
    if (first.size() < 4 || first.substr(0, 3) != "ok ") return "";
    return std::string(first.substr(3));
}

std::vector<uint64_t> NewMessages(std::string_view body, uint64_t& cursor) {
    std::vector<uint64_t> seqs;
    std::string_view rest(body);
    for (size_t end; !rest.empty(); rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1)) {
        end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        uint64_t seq = 0;
        if (line.size() > 2 && line.substr(0, 2) == "m " && ParseSeq(line.substr(2), &seq) && seq > cursor) {
            cursor = seq;
            seqs.push_back(seq);
        }
    }
    return seqs;
}

bool IsValidHost(const std::string& s) {
    const size_t colon = s.find(':');
    const std::string_view host = std::string_view(s).substr(0, colon);
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.front() == '-' || host.back() == '-' ||
        host.find("..") != std::string_view::npos)
        return false;
    for (char c : host) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
            return false;
    }
    if (colon == std::string::npos) return true;
    uint64_t port = 0;
    return ParseSeq(std::string_view(s).substr(colon + 1), &port) && s.size() - colon <= 6 && port >= 1 &&
           port <= 65535;
}

std::string FormEncode(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace supportim
