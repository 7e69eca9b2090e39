// The chat library loaded as the game window loads it: at run time, by path, never unloaded,
// each export looked up by name. For the tests and the benchmark. On Windows the path is
// SUPPORTIM_LIBRARY taken from the folder of the test's executable.
#pragma once

#ifdef _WIN32
#include "fw/windows/windows_api.h"
#else
#include <dlfcn.h>
#endif

#include <string>

#include "supportim/support_im.h"

namespace supportim_test {

#ifdef _WIN32
inline void* OpenLibrary() {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    for (const char* p = SUPPORTIM_LIBRARY; *p; ++p) path += static_cast<wchar_t>(*p == '/' ? '\\' : *p);
    return LoadLibraryW(path.c_str());
}
inline void* Symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
// Why the library could not be used.
inline std::string LoadError() { return "LoadLibraryW/GetProcAddress error " + std::to_string(GetLastError()); }
#else
inline void* OpenLibrary() { return dlopen(SUPPORTIM_LIBRARY, RTLD_NOW | RTLD_LOCAL); }
inline void* Symbol(void* library, const char* name) { return dlsym(library, name); }
inline std::string LoadError() {
    const char* e = dlerror();
    return e ? e : "";
}
#endif

struct LoadedLibrary {
    void* handle = OpenLibrary();
    SupportImInitFn init = reinterpret_cast<SupportImInitFn>(Sym(SUPPORTIM_EXPORT_INIT));
    SupportImOnGetLokFn ongetlok = reinterpret_cast<SupportImOnGetLokFn>(Sym(SUPPORTIM_EXPORT_ONGETLOK));
    SupportImSetAccFn setacc = reinterpret_cast<SupportImSetAccFn>(Sym(SUPPORTIM_EXPORT_SETACC));
    SupportImSetLnkFn setlnk = reinterpret_cast<SupportImSetLnkFn>(Sym(SUPPORTIM_EXPORT_SETLNK));

    void* Sym(const char* name) { return handle ? Symbol(handle, name) : nullptr; }
    bool Loaded() const { return handle && init && ongetlok && setacc && setlnk; }

    // The calls as the game window makes them, for one player.
    int Init(const std::string& host, const char* user = "alice") {
        return init(host.c_str(), SUPPORTIM_SERVICE_ACCOUNT, SUPPORTIM_SERVICE_NAME, user, "vip3", "dmor", "S1", "1001",
                    "zh-CN", SUPPORTIM_CHAT_TYPE);
    }
    int SetAcc(const char* user = "alice") {
        return setacc(SUPPORTIM_SERVICE_ACCOUNT, SUPPORTIM_SERVICE_NAME, SUPPORTIM_ASK_PREFIX_CP936, user);
    }
    std::string SetLnk(const char* user = "alice") {
        return setlnk(SUPPORTIM_SERVICE_ACCOUNT, SUPPORTIM_SERVICE_NAME, "kf_dmor", SUPPORTIM_ASK_PREFIX_CP936, user);
    }
};

// The one instance of the process.
inline LoadedLibrary& Lib() {
    static LoadedLibrary* lib = new LoadedLibrary;
    return *lib;
}

}  // namespace supportim_test
