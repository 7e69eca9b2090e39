// The program's resources on Windows: the executable's own (res/raduvove.rc), found by id and
// type name as the system finds them (type names without regard to case).
#include "fw/windows/windows_api.h"

#include "fw/resource_table.h"
#include "fw/windows/wide.h"

namespace fw::detail {

std::span<const std::uint8_t> FindEmbedded(int id, std::string_view type) {
    if (id <= 0 || id > 0xFFFF || type.empty()) return {};
    // The icon's picture is asked for as "ICON": the system's icon resource of that id is an
    // icon group for the shell, and the same picture is there as a PNG for the program.
    const std::wstring t = type == "ICON" ? std::wstring(L"PNG") : windows::Wide(type);
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), t.c_str());
    if (!found) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const DWORD size = SizeofResource(nullptr, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return {};
    return {static_cast<const std::uint8_t*>(bytes), size};
}

}  // namespace fw::detail
