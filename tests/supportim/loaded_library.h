// The chat library loaded as the game window loads it: at run time, by path, never unloaded,
// each export looked up by name. For the tests and the benchmark.
#pragma once

#include <dlfcn.h>

#include <string>

#include "supportim/support_im.h"

namespace supportim_test {

struct LoadedLibrary {
    void* handle = dlopen(SUPPORTIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    SupportImInitFn init = reinterpret_cast<SupportImInitFn>(Sym(SUPPORTIM_EXPORT_INIT));
    SupportImOnGetLokFn ongetlok = reinterpret_cast<SupportImOnGetLokFn>(Sym(SUPPORTIM_EXPORT_ONGETLOK));
    SupportImSetAccFn setacc = reinterpret_cast<SupportImSetAccFn>(Sym(SUPPORTIM_EXPORT_SETACC));
    SupportImSetLnkFn setlnk = reinterpret_cast<SupportImSetLnkFn>(Sym(SUPPORTIM_EXPORT_SETLNK));

    void* Sym(const char* name) { return handle ? dlsym(handle, name) : nullptr; }
    bool Loaded() const { return handle && init && ongetlok && setacc && setlnk; }

    // The calls as the game window makes them, for one player.
    int Init(const std::string& host, const char* user = "alice") {
        return init(host.c_str(), SUPPORTIM_SERVICE_ACCOUNT, SUPPORTIM_SERVICE_NAME, user, "vip3", "dmor", "S1",
                    "1001", "zh-CN", SUPPORTIM_CHAT_TYPE);
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
