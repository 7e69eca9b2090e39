// The customer-service server's state (cs_server.h): the sessions with their messages, the ids
// they were sent with and their receipts, the agent, the service mode and the heartbeats, with
// the JSON that the pages and the console read. Shared by the endpoints (cs_server.cpp) and
// cs_state.cpp; no other file includes it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <httplib.h>

#include "cs_server.h"

namespace portal {
namespace cs {

using Clock = std::chrono::steady_clock;

inline constexpr const char* kHtml = "text/html; charset=utf-8";
inline constexpr const char* kJson = "application/json; charset=utf-8";
inline constexpr const char* kText = "text/plain; charset=utf-8";
inline constexpr const char* kOnline = "在线";
inline constexpr const char* kOffline = "离线";
// A library or a chat page counts as connected while its poll is held or this soon after.
inline constexpr auto kContactGrace = std::chrono::seconds(30);

// The local time as messages show it ("HH:MM").
std::string ClockTime();
// A decimal number and nothing else.
bool ParseU64(const std::string& text, uint64_t* out);
// The request's wait (ms), at most CsServer::kMaxWaitMs; `fallback` without a valid one.
int WaitMs(const httplib::Request& req, int fallback);
// A session id of the chat library: 8 to 64 lowercase hex digits.
bool IsSid(std::string_view s);
// Text without leading and trailing blanks (ASCII and the ideographic space).
std::string Trim(std::string text);
// Answers that no cache keeps: plain text with a status, and JSON.
void Plain(httplib::Response& res, int status, const std::string& text);
void JsonReply(httplib::Response& res, const std::string& json);

}  // namespace cs

struct CsServer::State {
    using Clock = cs::Clock;

    enum class Mode { kUp, kDown, kStall };
    enum class Phase { kIdle, kWaiting, kChatting, kEnded };

    struct Message {
        uint64_t seq = 0;
        const char* from = "system";  // player, agent, system
        const char* kind = "text";    // text, ask, end
        std::string name;             // who wrote it, as shown
        std::string text;
        std::string time;
    };

    // Ids a sender gave its messages, with the seq each got: a send repeated after a lost
    // answer finds its message instead of adding it again. The oldest go first.
    struct SentIds {
        std::deque<std::pair<std::string, uint64_t>> ids;
        const uint64_t* Find(const std::string& id) const {
            for (const auto& [known, seq] : ids) {
                if (known == id) return &seq;
            }
            return nullptr;
        }
        void Add(std::string id, uint64_t seq) {
            ids.emplace_back(std::move(id), seq);
            if (ids.size() > kMaxMessages) ids.pop_front();
        }
    };

    struct Session {
        std::string sid, instance;
        std::string account, service, user, game, fid, f5, f6, f7, type;
        std::string topic;  // "咨询-<user>" once the player asked
        std::string group;  // the service group, once linked
        bool linked = false;
        // The library registered since the service last started (a restart forgets it; the
        // messages, the phase and the receipts are kept, as a real service keeps them in store).
        bool registered = true;
        Phase phase = Phase::kIdle;
        std::vector<Message> messages;
        uint64_t next_seq = 1;
        SentIds player_ids, agent_ids;
        // Read receipts of the chat page: ordinal (the page's count of agent messages it showed,
        // 1, 2, 3 … in the order shown) -> the message's seq. A receipt sent again is
        // idempotent; one that names another message for a known ordinal is counted apart.
        std::map<uint64_t, uint64_t> read;
        int read_conflicts = 0;
        Clock::time_point last_library{}, last_page{}, last_activity = Clock::now();
        int library_polls = 0, page_polls = 0;  // held right now
        std::string created = cs::ClockTime();

        // A message with the next seq (the oldest goes past kMaxMessages); returns its seq.
        uint64_t Add(const char* from, const char* kind, std::string name, std::string text);
        bool HasAgentMessageAfter(uint64_t after) const;
    };

    struct HeartbeatCount {
        int count = 0;
        Clock::time_point last{};
    };

    explicit State(std::string answer) : heartbeat_answer(std::move(answer)), rng(std::random_device{}()) {}

    std::mutex mu;
    std::condition_variable changed;
    bool shutting_down = false;
    Mode mode = Mode::kUp;
    uint64_t version = 1;  // bumped with every change the pages show
    std::map<std::string, Session> sessions;
    std::string agent_name = "Lily";
    bool agent_online = true;
    std::string heartbeat_answer;
    int heartbeat_count = 0;
    std::map<std::string, HeartbeatCount> heartbeats;  // per user id
    std::mt19937_64 rng;

    void Bump() {
        ++version;
        changed.notify_all();
    }
    // A new random instance id for a session made (again).
    std::string NewInstance();
    // Waits (with `lock` held) until pred or the deadline; false when the portal stops first.
    template <class Pred>
    bool WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline, Pred pred) {
        changed.wait_until(lock, deadline, [&] { return shutting_down || pred(); });
        return !shutting_down;
    }
    // Library and player endpoints: false (with the answer made) while the service is down;
    // while it is stalled the request is held until that ends.
    bool ServiceAnswers(std::unique_lock<std::mutex>& lock, httplib::Response& res);
    Session* Find(const std::string& sid) {
        auto it = sessions.find(sid);
        return it == sessions.end() ? nullptr : &it->second;
    }
    // The library's endpoints know a session only once it registered since the last restart.
    Session* FindRegistered(const std::string& sid) {
        Session* s = Find(sid);
        return s && s->registered ? s : nullptr;
    }
    // An agent request names a session by sid, or by user (that user's latest session).
    Session* FindForAgent(const httplib::Request& req);
    std::string AgentJson() const;
    static const char* PhaseName(Phase p);
    static std::string MessagesJson(const Session& s, uint64_t after);
    // What the chat page of `sid` shows: the version, whether the session is known and under
    // which instance (a session made again after a restart numbers its messages from 1 again),
    // its phase, the agent and the messages after `after`.
    std::string PageJson(const std::string& sid, uint64_t after);
    // The receipts as [[ordinal, seq], …] in ordinal order.
    static std::string ReadJson(const Session& s);
    // A message of `from` with the sender's id (may be empty: no id); an id seen before
    // answers the seq its message got then.
    uint64_t AddOnce(Session& s, SentIds& ids, const std::string& id, const char* from, std::string name,
                     std::string text);
    // A library or a chat page counts as connected while a poll of it is held or for
    // kContactGrace after its last contact.
    static bool Recent(Clock::time_point t, int held);
    // Everything, as the agent console reads it (GET /cs/agent/state).
    std::string StateJson() const;
};

}  // namespace portal
