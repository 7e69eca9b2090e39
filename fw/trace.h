// Time marks for measuring the client from outside. With RV_TRACE=1 in the environment each
// mark writes one line "rv-trace <steady clock in microseconds> <event>" to standard error
// (on Linux the steady clock is CLOCK_MONOTONIC, so a benchmark can set the marks against its
// own observations); without it a mark costs a test of a flag. Header-only, so that any
// module of the program can mark without linking anything.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fw {

inline bool TraceEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("RV_TRACE");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    return enabled;
}

// The period (ms) of the UI thread's mark "ui-tick <µs it ran> <µs it waited for a processor>"
// (the thread's totals so far; left out where the system does not count them), which shows
// from outside how long the UI thread went without turning to its timers: RV_TRACE_TICK_MS (10 … 1000) while RV_TRACE
// is on; 0 (no tick) otherwise, so that other traced runs are not flooded with it.
inline unsigned TraceTickMs() {
    static const unsigned ms = [] {
        const char* v = std::getenv("RV_TRACE_TICK_MS");
        if (!TraceEnabled() || !v) return 0u;
        const long n = std::strtol(v, nullptr, 10);
        return n >= 10 && n <= 1000 ? static_cast<unsigned>(n) : 0u;
    }();
    return ms;
}

inline void TraceMark(const char* event) {
    if (!TraceEnabled() || !event) return;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    char line[256];
    int n = std::snprintf(line, sizeof line, "rv-trace %lld %s\n", static_cast<long long>(us), event);
    if (n <= 0) return;
    size_t len = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1;
    line[len - 1] = '\n';  // a cut event name still ends its line
    // Standard error is unbuffered: one write per line, so marks of several threads never mix.
    std::fwrite(line, 1, len, stderr);
}

}  // namespace fw
