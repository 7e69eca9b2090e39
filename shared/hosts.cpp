#include "shared/hosts.h"

namespace shared {

const Hosts& DefaultHosts() {
    static const Hosts h{
        "portal.lumo.example", "dmor.lumo.example", "pay.lumo.example", "bbs.lumo.example", "kefu.lumo.example",
    };
    return h;
}

bool IsValidHost(const std::string& s) {
    if (s.empty() || s.size() > 253 + 6) return false;
    auto colon = s.find(':');
    std::string host = s.substr(0, colon);
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.front() == '-' || host.back() == '-')
        return false;
    for (char c : host) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!ok) return false;
    }
    if (host.find("..") != std::string::npos) return false;
    if (colon == std::string::npos) return true;
    std::string port = s.substr(colon + 1);
    if (port.empty() || port.size() > 5) return false;
    long n = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= 65535;
}

std::string HttpAddress(const std::string& host, const std::string& pathAndQuery) {
    return "http://" + host + pathAndQuery;
}

std::string OfficialSiteUrl(const Hosts& h) { return HttpAddress(h.game, ""); }
std::string PaymentUrl(const Hosts& h) { return HttpAddress(h.pay, "/?g=dmor"); }
std::string ForumUrl(const Hosts& h) { return HttpAddress(h.forum, "/forum.php?mod=forumdisplay&fid=177"); }
std::string ServiceUrl(const Hosts& h) { return HttpAddress(h.portal, "/kefu/"); }

}  // namespace shared
