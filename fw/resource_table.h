#pragma once
// The table of embedded resources (generated into every program; see res/).
namespace fw::detail {
struct ResourceEntry {
    int id;
    const char* type;  // null ends the table
    const unsigned char* begin;
    const unsigned char* end;
};
extern const ResourceEntry kResources[];
}  // namespace fw::detail
