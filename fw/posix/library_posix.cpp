// Shared libraries on POSIX systems: dlopen with every symbol bound at once, kept local to
// the library, so that two libraries with the same export names never mix.
#include <dlfcn.h>

#include "fw/library.h"

namespace fw {

LibraryHandle LoadSharedLibrary(const std::string& path, std::string* error) {
    // A name without a slash would make dlopen search the system's folders instead.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* h = path.empty() ? nullptr : dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h && error) {
        const char* why = path.empty() ? "no path" : dlerror();
        *error = why ? why : "cannot be loaded";
    }
    return h;
}

void* FindSymbol(LibraryHandle library, const char* name) { return library && name ? dlsym(library, name) : nullptr; }

std::string SharedLibraryName(std::string_view base) { return "lib" + std::string(base) + ".so"; }

}  // namespace fw
