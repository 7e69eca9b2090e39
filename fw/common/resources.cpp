// Embedded resources by id and type, with a test hook that hides or replaces one. Where the
// program keeps them is the platform's (resource_table.h).
#include "fw/resources.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fw/resource_table.h"

namespace fw {

namespace {

// Type names compare without regard to ASCII case, as resource type names do on Windows.
std::string UpperType(std::string_view type) {
    std::string t(type);
    for (char& c : t)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return t;
}

struct Override {
    bool present = false;
    std::vector<std::uint8_t> bytes;
};

// UI thread only, like every caller of FindResource.
std::map<std::pair<int, std::string>, Override>& Overrides() {
    static auto* m = new std::map<std::pair<int, std::string>, Override>();
    return *m;
}

}  // namespace

std::span<const std::uint8_t> FindResource(int id, std::string_view type) {
    const std::string t = UpperType(type);
    auto& o = Overrides();
    if (auto it = o.find({id, t}); it != o.end()) {
        if (!it->second.present) return {};
        return {it->second.bytes.data(), it->second.bytes.size()};
    }
    return detail::FindEmbedded(id, t);
}

// The bytes are copied; the span FindResource answers for an override stays valid until
// that override is replaced or cleared.
void OverrideResource(int id, std::string_view type, std::span<const std::uint8_t> data, bool present) {
    Override ov;
    ov.present = present;
    if (present) ov.bytes.assign(data.begin(), data.end());
    Overrides()[{id, UpperType(type)}] = std::move(ov);
}

void ClearResourceOverrides() { Overrides().clear(); }

}  // namespace fw
