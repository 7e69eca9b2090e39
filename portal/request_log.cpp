#include "request_log.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace portal {
namespace {

constexpr size_t kMaxEntries = 100000;

// Length of the valid UTF-8 sequence starting at s[i], or 0 if invalid.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    size_t len;
    uint32_t cp;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const unsigned char cc = byte(i + k);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are invalid.
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        return 0;
    }
    return len;
}

void AppendEscape(std::string* out, unsigned code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", code);
    out->append(buf);
}

}  // namespace

int64_t MonotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

std::string JsonString(std::string_view s, bool for_script) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('"');
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            switch (c) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            case '\t': out.append("\\t"); break;
            case '\b': out.append("\\b"); break;
            case '\f': out.append("\\f"); break;
            default:
                if (c < 0x20 || c == 0x7F || (for_script && (c == '<' || c == '>' || c == '&'))) {
                    AppendEscape(&out, c);
                } else {
                    out.push_back(static_cast<char>(c));
                }
            }
            ++i;
            continue;
        }
        const size_t len = Utf8SequenceLength(s, i);
        if (len == 0) {
            out.append("\xEF\xBF\xBD");  // U+FFFD for each invalid byte
            ++i;
            continue;
        }
        const std::string_view seq = s.substr(i, len);
        if (for_script && (seq == "\xE2\x80\xA8" || seq == "\xE2\x80\xA9")) {
            AppendEscape(&out, seq == "\xE2\x80\xA8" ? 0x2028 : 0x2029);
        } else {
            out.append(seq);
        }
        i += len;
    }
    out.push_back('"');
    return out;
}

RequestLog::RequestLog() : start_(std::chrono::steady_clock::now()) {}

uint64_t RequestLog::Record(std::string method, std::string path, std::string query, std::string cookie,
                            std::string user_agent, std::string referer) {
    LogEntry e;
    e.method = std::move(method);
    e.path = std::move(path);
    e.query = std::move(query);
    e.cookie = std::move(cookie);
    e.user_agent = std::move(user_agent);
    e.referer = std::move(referer);
    const auto now = std::chrono::steady_clock::now();
    e.t_ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    e.mono_us = MonotonicMicros();
    e.wall_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    std::lock_guard<std::mutex> lock(mutex_);
    e.seq = next_seq_++;
    // A portal left running for days keeps only the newest entries.
    if (entries_.size() >= kMaxEntries) {
        entries_.erase(entries_.begin(), entries_.begin() + kMaxEntries / 10);
    }
    entries_.push_back(std::move(e));
    return entries_.back().seq;
}

std::vector<LogEntry> RequestLog::Since(uint64_t since) const {
    std::lock_guard<std::mutex> lock(mutex_);
    // Entries are appended in sequence order, so the first newer one can be
    // found by binary search.
    auto first = std::upper_bound(entries_.begin(), entries_.end(), since,
                                  [](uint64_t value, const LogEntry& e) { return value < e.seq; });
    return std::vector<LogEntry>(first, entries_.end());
}

std::string RequestLog::ToJson(uint64_t since) const {
    const std::vector<LogEntry> entries = Since(since);
    std::string out = "[";
    for (size_t i = 0; i < entries.size(); ++i) {
        const LogEntry& e = entries[i];
        if (i) out.append(",\n ");
        out.append("{\"seq\":").append(std::to_string(e.seq));
        out.append(",\"method\":").append(JsonString(e.method));
        out.append(",\"path\":").append(JsonString(e.path));
        out.append(",\"query\":").append(JsonString(e.query));
        out.append(",\"cookie\":").append(JsonString(e.cookie));
        out.append(",\"user_agent\":").append(JsonString(e.user_agent));
        out.append(",\"referer\":").append(JsonString(e.referer));
        out.append(",\"t_ms\":").append(std::to_string(e.t_ms));
        out.append(",\"mono_us\":").append(std::to_string(e.mono_us));
        out.append(",\"wall_ms\":").append(std::to_string(e.wall_ms));
        out.push_back('}');
    }
    out.append("]\n");
    return out;
}

size_t RequestLog::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t n = entries_.size();
    entries_.clear();
    return n;
}

}  // namespace portal
