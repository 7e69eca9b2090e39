// The portal's customer-service server: a session per player (made by the client's chat
// library), the chat page the player sees in the client's VIP window, the agent console a
// person answers from in a browser, the platform's heartbeat answer, and control endpoints
// for tests. Everything lives in memory; a restart of the portal forgets it, and the chat
// library registers its session again (a new instance: the page numbers from the start).
//
// Endpoints (forms are application/x-www-form-urlencoded, answers UTF-8):
//   library  POST /cs/api/register, /cs/api/ask, /cs/api/link; GET /cs/api/poll
//            (the protocol is described in supportim/im_client.h)
//   player   GET  /cs/chat/?sid=S                the chat page
//            GET  /cs/page/poll?sid=S&after=N&v=V&wait=MS
//                 -> {"v","known","instance","state","agent":{"name","status"},"messages":[...]}
//                 (a new instance: the session was made again, its numbering starts again)
//            POST /cs/page/send  sid, text, id   a message of the player -> {"seq":N}; a send
//                 repeated with the same id (the page's own, per line) answers the first's seq
//            POST /cs/page/read  sid, read=ordinal:seq,…   read receipts of the page: the
//                 agent messages it showed, numbered 1, 2, 3 … in the order shown
//            POST /cs/page/ask   sid             asks for an agent again after an end
//   agent    GET  /cs/agent/                     the console page
//            GET  /cs/agent/state?v=V&wait=MS    everything, once the version differs from V
//            POST /cs/agent/send    sid or user, text, id  -> {"seq":N}  (id: as for the page)
//            POST /cs/agent/end     sid or user        ends the chat (the page then closes)
//            POST /cs/agent/status  name, status (在线 or 离线)
//   control  POST /__cs/service  mode=up|down|stall|reset
//              down: library and player endpoints answer 503; stall: they hold every
//              request without an answer until the mode changes; reset: a restart, then up:
//              registrations, contact times and heartbeats are forgotten (the library's
//              endpoints answer 404 until it registers again); messages, their numbering,
//              the ids they were sent with and the receipts are kept, as a store keeps them
//            GET  /__heartbeat -> {"answer","count"};  POST /__heartbeat answer=TEXT
// A message is {"seq","from":"player"|"agent"|"system","kind":"text"|"ask"|"end","name",
// "text","time"}; sequence numbers count per session from 1.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <httplib.h>

namespace portal {

// Converts bytes in `charset` (an iconv name; empty or unknown: UTF-8) to UTF-8; bytes that
// are not valid in it become U+FFFD.
std::string DecodeToUtf8(std::string_view bytes, const std::string& charset);

class CsServer {
public:
    explicit CsServer(std::string heartbeat_answer);
    ~CsServer();
    CsServer(const CsServer&) = delete;
    CsServer& operator=(const CsServer&) = delete;

    void Register(httplib::Server& http);

    // The platform's heartbeat from the client: counted (also for the player's sessions) and
    // answered with the current answer text.
    std::string Heartbeat(const std::string& user);

    // Ends every held request at once and keeps new ones from waiting (the portal stops).
    void Shutdown();

    // Longest time a poll is held, whatever it asks for.
    static constexpr int kMaxWaitMs = 25000;
    // Limits that keep a long-running portal small.
    static constexpr size_t kMaxSessions = 1000;
    static constexpr size_t kMaxMessages = 500;
    static constexpr size_t kMaxTextBytes = 2000;
    static constexpr size_t kMaxIdBytes = 64;
    static constexpr size_t kMaxReceipts = 5000;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace portal
