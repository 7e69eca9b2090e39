// Facts about the running program on POSIX systems.
#include <malloc.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fw/system.h"

namespace fw {

std::string ExecutablePath() {
    std::vector<char> buf(256);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
        if (buf.size() >= (1u << 20)) return {};
        buf.resize(buf.size() * 2);  // possibly cut short: try again with more room
    }
}

std::string DirectoryOf(const std::string& path) {
    std::size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string GetModuleDir() { return DirectoryOf(ExecutablePath()); }

void TrimOwnWorkingSet() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace fw
