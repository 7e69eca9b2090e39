// Shared libraries on Windows: LoadLibraryW of the path and GetProcAddress.
#include "fw/windows/windows_api.h"

#include <string>

#include "fw/library.h"
#include "fw/windows/wide.h"

namespace fw {

LibraryHandle LoadSharedLibrary(const std::string& path, std::string* error) {
    HMODULE h = nullptr;
    DWORD code = 0;
    if (!path.empty()) {
        // No error box of the system's for a file that is missing or damaged.
        const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        h = LoadLibraryW(windows::Wide(path).c_str());
        code = GetLastError();
        SetErrorMode(oldMode);
    }
    if (!h && error) *error = path.empty() ? "no path" : "error " + std::to_string(code);
    return reinterpret_cast<LibraryHandle>(h);
}

void* FindSymbol(LibraryHandle library, const char* name) {
    if (!library || !name) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string SharedLibraryName(std::string_view base) { return std::string(base) + ".dll"; }

}  // namespace fw
