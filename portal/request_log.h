// Thread-safe record of the requests the portal served, readable as JSON.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace portal {

// A JSON string literal (with the quotes) for arbitrary bytes: quotes,
// backslashes and control characters are escaped, valid UTF-8 passes through,
// and invalid UTF-8 becomes U+FFFD so that the result is always valid JSON.
// With for_script the result is also safe inside an HTML <script> element
// ("<", ">", "&", U+2028 and U+2029 are escaped as well).
std::string JsonString(std::string_view bytes, bool for_script = false);

// Now on CLOCK_MONOTONIC, in microseconds: a benchmark driver compares it with
// its own readings of the same clock (Python's time.monotonic()).
int64_t MonotonicMicros();

struct LogEntry {
    uint64_t seq = 0;
    std::string method;
    std::string path;
    std::string query;
    std::string cookie;
    std::string user_agent;
    std::string referer;
    int64_t t_ms = 0;  // milliseconds since the log was created
    // When the request came, in microseconds of the system's monotonic clock
    // (CLOCK_MONOTONIC, the clock other programs on the machine can read too)
    // and in milliseconds of the wall clock since 1970.
    int64_t mono_us = 0;
    int64_t wall_ms = 0;
};

class RequestLog {
public:
    RequestLog();

    // Records one request and returns its sequence number (1, 2, ...).
    // Numbers keep growing across Clear(), so "since" stays meaningful.
    uint64_t Record(std::string method, std::string path, std::string query, std::string cookie, std::string user_agent,
                    std::string referer);

    // Entries with a sequence number greater than since, oldest first.
    std::vector<LogEntry> Since(uint64_t since) const;

    // The same as a JSON array.
    std::string ToJson(uint64_t since) const;

    // Empties the log; returns how many entries were dropped.
    size_t Clear();

private:
    mutable std::mutex mutex_;
    std::vector<LogEntry> entries_;
    uint64_t next_seq_ = 1;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace portal
