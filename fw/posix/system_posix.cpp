// Facts about the running program on POSIX systems: where it is, and giving memory back.
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

void TrimOwnWorkingSet() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace fw
