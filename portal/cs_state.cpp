#include "cs_state.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "request_log.h"

namespace portal {
namespace cs {

std::string ClockTime() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M", &tm);
    return buf;
}

bool ParseU64(const std::string& text, uint64_t* out) {
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && ec == std::errc() && p == text.data() + text.size();
}

int WaitMs(const httplib::Request& req, int fallback) {
    uint64_t ms = 0;
    if (!ParseU64(req.get_param_value("wait"), &ms)) return fallback;
    return static_cast<int>(std::min<uint64_t>(ms, CsServer::kMaxWaitMs));
}

bool IsSid(std::string_view s) {
    if (s.size() < 8 || s.size() > 64) return false;
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::string Trim(std::string text) {
    auto blank_at_end = [&]() {
        if (text.empty()) return size_t{0};
        if (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n') return size_t{1};
        if (text.size() >= 3 && text.compare(text.size() - 3, 3, "\xE3\x80\x80") == 0) return size_t{3};
        return size_t{0};
    };
    while (size_t n = blank_at_end()) text.resize(text.size() - n);
    size_t start = 0;
    for (;;) {
        if (start < text.size() &&
            (text[start] == ' ' || text[start] == '\t' || text[start] == '\r' || text[start] == '\n')) {
            ++start;
        } else if (text.compare(start, 3, "\xE3\x80\x80") == 0) {
            start += 3;
        } else {
            break;
        }
    }
    return text.substr(start);
}

void Plain(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(text, kText);
}

void JsonReply(httplib::Response& res, const std::string& json) {
    res.set_header("Cache-Control", "no-store");
    res.set_content(json, kJson);
}

}  // namespace cs

std::string DecodeToUtf8(std::string_view bytes, const std::string& charset) {
    std::string upper;
    for (char c : charset) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (upper.empty() || upper == "UTF-8" || upper == "UTF8") return std::string(bytes);
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
    std::string out;
    char buf[512];
    char* in = const_cast<char*>(bytes.data());
    size_t left = bytes.size();
    while (left > 0) {
        char* dst = buf;
        size_t room = sizeof buf;
        const size_t r = iconv(cd, &in, &left, &dst, &room);
        const int err = errno;
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
        out.append("\xEF\xBF\xBD");  // an invalid or cut sequence: one byte of it is replaced
        ++in;
        --left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

// ---- the state -----------------------------------------------------------------------------
using cs::ClockTime;
using cs::kContactGrace;
using cs::kOffline;
using cs::kOnline;
using cs::Plain;

uint64_t CsServer::State::Session::Add(const char* from, const char* kind, std::string name, std::string text) {
    Message m;
    m.seq = next_seq++;
    m.from = from;
    m.kind = kind;
    m.name = std::move(name);
    m.text = std::move(text);
    m.time = ClockTime();
    messages.push_back(std::move(m));
    if (messages.size() > kMaxMessages) messages.erase(messages.begin());
    last_activity = Clock::now();
    return messages.back().seq;
}

bool CsServer::State::Session::HasAgentMessageAfter(uint64_t after) const {
    for (auto it = messages.rbegin(); it != messages.rend() && it->seq > after; ++it) {
        if (std::string_view(it->from) == "agent") return true;
    }
    return false;
}

std::string CsServer::State::NewInstance() {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(rng()));
    return buf;
}

bool CsServer::State::ServiceAnswers(std::unique_lock<std::mutex>& lock, httplib::Response& res) {
    WaitUntil(lock, Clock::now() + std::chrono::minutes(10), [&] { return mode != Mode::kStall; });
    if (mode == Mode::kUp && !shutting_down) return true;
    Plain(res, 503, "customer service unavailable\n");
    return false;
}

CsServer::State::Session* CsServer::State::FindForAgent(const httplib::Request& req) {
    if (req.has_param("sid")) return Find(req.get_param_value("sid"));
    const std::string user = req.get_param_value("user");
    Session* best = nullptr;
    for (auto& [sid, s] : sessions) {
        if (s.user == user && (!best || s.last_activity >= best->last_activity)) best = &s;
    }
    return best;
}

std::string CsServer::State::AgentJson() const {
    return "{\"name\":" + JsonString(agent_name) + ",\"status\":" + JsonString(agent_online ? kOnline : kOffline) + "}";
}

const char* CsServer::State::PhaseName(Phase p) {
    switch (p) {
    case Phase::kIdle: return "idle";
    case Phase::kWaiting: return "waiting";
    case Phase::kChatting: return "chatting";
    case Phase::kEnded: return "ended";
    }
    return "idle";
}

std::string CsServer::State::MessagesJson(const Session& s, uint64_t after) {
    std::string out = "[";
    for (const Message& m : s.messages) {
        if (m.seq <= after) continue;
        if (out.size() > 1) out += ',';
        out += "{\"seq\":" + std::to_string(m.seq) + ",\"from\":\"" + m.from + "\",\"kind\":\"" + m.kind +
               "\",\"name\":" + JsonString(m.name) + ",\"text\":" + JsonString(m.text) +
               ",\"time\":" + JsonString(m.time) + "}";
    }
    return out + "]";
}

std::string CsServer::State::PageJson(const std::string& sid, uint64_t after) {
    const Session* s = Find(sid);
    return "{\"v\":" + std::to_string(version) + ",\"known\":" + (s ? "true" : "false") +
           ",\"instance\":" + JsonString(s ? s->instance : std::string()) + ",\"state\":\"" +
           (s ? PhaseName(s->phase) : "idle") + "\",\"agent\":" + AgentJson() +
           ",\"messages\":" + (s ? MessagesJson(*s, after) : "[]") + "}\n";
}

std::string CsServer::State::ReadJson(const Session& s) {
    std::string out = "[";
    for (const auto& [ordinal, seq] : s.read) {
        if (out.size() > 1) out += ',';
        out += "[" + std::to_string(ordinal) + "," + std::to_string(seq) + "]";
    }
    return out + "]";
}

uint64_t CsServer::State::AddOnce(Session& s, SentIds& ids, const std::string& id, const char* from, std::string name,
                                  std::string text) {
    if (!id.empty()) {
        if (const uint64_t* seq = ids.Find(id)) return *seq;
    }
    const uint64_t seq = s.Add(from, "text", std::move(name), std::move(text));
    if (!id.empty()) ids.Add(id, seq);
    return seq;
}

bool CsServer::State::Recent(Clock::time_point t, int held) {
    return held > 0 || (t != Clock::time_point{} && Clock::now() - t < kContactGrace);
}

std::string CsServer::State::StateJson() const {
    std::string out = "{\"v\":" + std::to_string(version) + ",\"mode\":\"" +
                      (mode == Mode::kUp     ? "up"
                       : mode == Mode::kDown ? "down"
                                             : "stall") +
                      "\",\"agent\":" + AgentJson() + ",\"heartbeat\":{\"answer\":" + JsonString(heartbeat_answer) +
                      ",\"count\":" + std::to_string(heartbeat_count) + "},\"sessions\":[";
    bool first = true;
    for (const auto& [sid, s] : sessions) {
        if (!first) out += ',';
        first = false;
        int beats = 0;
        long beat_age = -1;
        if (auto it = heartbeats.find(s.user); it != heartbeats.end()) {
            beats = it->second.count;
            beat_age = static_cast<long>(
                std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - it->second.last).count());
        }
        const long idle =
            static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - s.last_activity).count());
        out += "{\"sid\":" + JsonString(s.sid) + ",\"user\":" + JsonString(s.user) +
               ",\"topic\":" + JsonString(s.topic) + ",\"account\":" + JsonString(s.account) +
               ",\"service\":" + JsonString(s.service) + ",\"game\":" + JsonString(s.game) +
               ",\"fid\":" + JsonString(s.fid) + ",\"f5\":" + JsonString(s.f5) + ",\"f6\":" + JsonString(s.f6) +
               ",\"f7\":" + JsonString(s.f7) + ",\"type\":" + JsonString(s.type) + ",\"group\":" + JsonString(s.group) +
               ",\"linked\":" + (s.linked ? "true" : "false") + ",\"registered\":" + (s.registered ? "true" : "false") +
               ",\"state\":\"" + PhaseName(s.phase) +
               "\",\"client\":" + (Recent(s.last_library, s.library_polls) ? "true" : "false") +
               ",\"page\":" + (Recent(s.last_page, s.page_polls) ? "true" : "false") +
               ",\"heartbeats\":" + std::to_string(beats) + ",\"heartbeat_age\":" + std::to_string(beat_age) +
               ",\"idle\":" + std::to_string(idle) + ",\"created\":" + JsonString(s.created) +
               ",\"messages\":" + MessagesJson(s, 0) + ",\"read\":" + ReadJson(s) +
               ",\"read_conflicts\":" + std::to_string(s.read_conflicts) + "}";
    }
    return out + "]}\n";
}

}  // namespace portal
