#pragma once
// Resources embedded in the executable: the skin PNGs and the icon, found by id and type.
#include <cstdint>
#include <span>
#include <string_view>

namespace fw {

// The bytes of resource `id` of `type` ("PNG", "ICON"), or an empty span when there is none.
std::span<const std::uint8_t> FindResource(int id, std::string_view type);

// Test hook: hide or replace a resource for the rest of the process (null data hides it).
void OverrideResource(int id, std::string_view type, std::span<const std::uint8_t> data, bool present);
void ClearResourceOverrides();

}  // namespace fw
