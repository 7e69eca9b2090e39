// The program's resources off Windows: the table that res/ generates into every program, the
// bytes embedded with the assembler.
#include <string>

#include "fw/resource_table.h"

namespace fw::detail {

std::span<const std::uint8_t> FindEmbedded(int id, std::string_view type) {
    for (const ResourceEntry* e = kResources; e->type; ++e) {
        if (e->id != id) continue;
        std::string t(e->type);
        for (char& c : t)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (t == type) return {e->begin, static_cast<std::size_t>(e->end - e->begin)};
    }
    return {};
}

}  // namespace fw::detail
