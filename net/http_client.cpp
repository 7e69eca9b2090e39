// The parts of CHttpClient that are the same on every platform: which addresses it takes and
// how an address is written on the wire.
#include "net/http_client.h"

#include <cstring>

namespace {

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

bool CHttpClient::IsWebAddress(const std::string& address) {
    return StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://");
}

std::string CHttpClient::EncodeAddress(const std::string& address) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(address.size());
    for (unsigned char c : address) {
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
