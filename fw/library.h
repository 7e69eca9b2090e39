#pragma once
// Shared libraries loaded at run time: by path, looked up by export name, never unloaded
// (what a library hands out, its threads and callbacks, may outlive any owner).
// Safe from any thread.
#include <string>
#include <string_view>

namespace fw {

// A loaded library (opaque); null for none.
using LibraryHandle = void*;

// Loads the library at `path` (UTF-8), or answers the handle it already has when that file
// is loaded. Null when it cannot be loaded (missing, not a library of this system, a missing
// dependency); `error`, when given, then says why.
LibraryHandle LoadSharedLibrary(const std::string& path, std::string* error = nullptr);
// The address of the export `name` of a loaded library; null when it has none (or for a null
// handle).
void* FindSymbol(LibraryHandle library, const char* name);
// The file name this system gives a shared library called `base`: "libX.so" on Linux,
// "X.dll" on Windows.
std::string SharedLibraryName(std::string_view base);

}  // namespace fw
