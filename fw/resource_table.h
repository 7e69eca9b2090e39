#pragma once
// Where the program keeps its resources (fw::FindResource asks here after its test hook).
#include <cstdint>
#include <span>
#include <string_view>

namespace fw::detail {

// The bytes of resource `id` of `type` (in upper case), empty when there is none: from the
// table generated into every program off Windows (res/resources_data.cpp.in,
// posix/resources_posix.cpp), from the executable's own resources on Windows (res/raduvove.rc,
// windows/resources_win32.cpp).
std::span<const std::uint8_t> FindEmbedded(int id, std::string_view type);

// The generated table off Windows.
struct ResourceEntry {
    int id;
    const char* type;  // null ends the table
    const unsigned char* begin;
    const unsigned char* end;
};
extern const ResourceEntry kResources[];

}  // namespace fw::detail
