// Fuzzes what decides on host names and addresses: the [hosts] rule of the client and the one of
// the chat library (they must agree: the library is handed the client's "cs" host), the web
// address rule, and which frames get the script bridge. The first byte chooses the case; the
// rest is split into texts at NUL bytes. It traps when:
// - the two host rules differ, or a host taken makes an address that is no web address, or
//   whose frames do not get the bridge when that host is a platform host;
// - a frame gets the bridge without an http or https address, or is refused in a page of its
//   own address;
// - RequireWebAddress and IsWebAddress disagree, or an address shown in a log line is long or
//   holds a control character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fw/bridge_origin.h"
#include "fw/shell.h"
#include "fw/text.h"
#include "shared/hosts.h"
#include "supportim/protocol.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::vector<std::string> Texts(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> out(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            out.emplace_back();
        else
            out.back() += static_cast<char>(data[i]);
    }
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool HasWebScheme(const std::string& url) {
    const std::string low = Lower(url.substr(0, 6));
    return low.rfind("http:", 0) == 0 || low.rfind("https:", 0) == 0;
}

void CheckHost(const std::string& host, const std::string& path) {
    const bool valid = shared::IsValidHost(host);
    FUZZ_CHECK(valid == supportim::IsValidHost(host));
    if (!valid) return;
    const std::string address = shared::HttpAddress(host, path);
    FUZZ_CHECK(fw::IsWebAddress(address));
    // A path that starts the address's path (or its query or fragment) leaves the host alone.
    if (path.empty() || path[0] == '/' || path[0] == '?' || path[0] == '#') {
        FUZZ_CHECK(fw::FrameMayUseBridge("about:blank", address, {host}));
        FUZZ_CHECK(fw::FrameMayUseBridge(address, address, {}));
        FUZZ_CHECK(fw::FrameMayUseBridge("https://" + host, address, {}) == false);
    }
}

void CheckFrame(const std::string& top, const std::string& frame, const std::vector<std::string>& hosts) {
    const bool web = fw::IsWebAddress(frame);
    FUZZ_CHECK(web == HasWebScheme(frame));
    // RequireWebAddress is IsWebAddress with a line on standard error for a refusal; the line
    // shows the address through ShownInLog: short, on one line, without control characters.
    if (web) FUZZ_CHECK(fw::RequireWebAddress(frame, "fuzz"));
    const std::string shown = fw::ShownInLog(frame);
    FUZZ_CHECK(shown.size() <= 163);
    for (char c : shown) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    const bool mayUse = fw::FrameMayUseBridge(top, frame, hosts);
    if (mayUse) FUZZ_CHECK(web);
    // Of its own origin a frame is refused only when it tells no http(s) origin; then it is
    // refused everywhere.
    if (!fw::FrameMayUseBridge(frame, frame, {})) FUZZ_CHECK(!mayUse);
    if (mayUse && hosts.empty()) FUZZ_CHECK(fw::FrameMayUseBridge(frame, top, {}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 4096) return 0;
    const std::vector<std::string> t = Texts(data + 1, size - 1);
    auto text = [&](std::size_t i) { return i < t.size() ? t[i] : std::string(); };
    switch (data[0] % 2) {
    case 0: CheckHost(text(0), text(1)); break;
    default:
        CheckFrame(text(0), text(1), std::vector<std::string>(t.begin() + (t.size() > 2 ? 2 : t.size()), t.end()));
        break;
    }
    return 0;
}
