// Facts about the running program on POSIX systems: where it is, giving memory back, and
// the scheduler's count of a thread's waits.
#include <malloc.h>
#include <unistd.h>

#include <cstdio>

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

bool ThreadSchedTimes(long long& runUs, long long& waitUs) {
    // Linux: "<ns on a processor> <ns waiting on a run queue> <time slices>".
    std::FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f) return false;
    unsigned long long run = 0, wait = 0;
    const bool read = std::fscanf(f, "%llu %llu", &run, &wait) == 2;
    std::fclose(f);
    if (!read) return false;
    runUs = static_cast<long long>(run / 1000);
    waitUs = static_cast<long long>(wait / 1000);
    return true;
}

}  // namespace fw
