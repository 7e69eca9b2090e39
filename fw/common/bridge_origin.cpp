// The script bridge's frame rule: origins are compared as scheme, host and port, with the
// default port filled in, so that "http://a.example/x" and "http://A.example:80/y" are one
// origin and "https://a.example" another.
#include "fw/bridge_origin.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "fw/text.h"

namespace fw {

namespace {

std::vector<std::string>& BridgeHosts() {
    static std::vector<std::string> hosts;
    return hosts;
}

struct Origin {
    std::string scheme;  // "http" or "https"
    std::string host;    // lower case; an IPv6 address keeps its brackets
    unsigned port = 0;
    bool operator==(const Origin&) const = default;
};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// "host" or "host:port" into host and port (0 when none is written); nullopt when the port
// is not a number from 1 to 65535 or the host is empty.
std::optional<std::pair<std::string, unsigned>> SplitHostPort(std::string_view hp) {
    std::string_view host = hp, port;
    if (!hp.empty() && hp.front() == '[') {
        const auto close = hp.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = hp.substr(0, close + 1);
        std::string_view rest = hp.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
        }
    } else if (const auto colon = hp.rfind(':'); colon != std::string_view::npos) {
        host = hp.substr(0, colon);
        port = hp.substr(colon + 1);
    }
    if (host.empty()) return std::nullopt;
    unsigned n = 0;
    if (hp.size() > host.size()) {  // a colon was written: a port must follow
        if (port.empty() || port.size() > 5) return std::nullopt;
        for (char c : port) {
            if (c < '0' || c > '9') return std::nullopt;
            n = n * 10 + static_cast<unsigned>(c - '0');
        }
        if (n == 0 || n > 65535) return std::nullopt;
    }
    return std::make_pair(Lower(host), n);
}

// The origin of an http or https address; nullopt for anything else.
std::optional<Origin> OriginOf(std::string_view url) {
    const auto colon = url.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    Origin o;
    o.scheme = Lower(url.substr(0, colon));
    if (o.scheme != "http" && o.scheme != "https") return std::nullopt;
    std::string_view rest = url.substr(colon + 1);
    // Browsers take a backslash for a slash in these schemes.
    auto slash = [](char c) { return c == '/' || c == '\\'; };
    if (rest.size() < 2 || !slash(rest[0]) || !slash(rest[1])) return std::nullopt;
    rest.remove_prefix(2);
    std::string_view authority = rest.substr(0, rest.find_first_of("/\\?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    auto hp = SplitHostPort(authority);
    if (!hp) return std::nullopt;
    o.host = hp->first;
    o.port = hp->second ? hp->second : (o.scheme == "https" ? 443u : 80u);
    return o;
}

// A platform host ("name" or "name:port") names this origin: the same host, and the port
// written, or the scheme's default port when none is.
bool IsPlatformHost(const Origin& o, const std::string& entry) {
    auto hp = SplitHostPort(entry);
    if (!hp || hp->first != o.host) return false;
    const unsigned want = hp->second ? hp->second : (o.scheme == "https" ? 443u : 80u);
    return want == o.port;
}

}  // namespace

void SetBridgeHosts(std::vector<std::string> hosts) { BridgeHosts() = std::move(hosts); }

bool FrameMayUseBridge(const std::string& topUrl, const std::string& frameUrl, const std::vector<std::string>& hosts) {
    const auto frame = OriginOf(frameUrl);
    if (!frame) return false;
    if (const auto top = OriginOf(topUrl); top && *top == *frame) return true;
    for (const std::string& h : hosts)
        if (IsPlatformHost(*frame, h)) return true;
    return false;
}

bool FrameMayUseBridge(const std::string& topUrl, const std::string& frameUrl) {
    if (FrameMayUseBridge(topUrl, frameUrl, BridgeHosts())) return true;
    std::fprintf(stderr, "raduvove: script bridge refused to a frame of another site: %s (in %s)\n",
                 ShownInLog(frameUrl).c_str(), ShownInLog(topUrl).c_str());
    return false;
}

}  // namespace fw
