#pragma once
// The chat library's state and its worker thread, behind the four exports (exports.cpp).
//
// Protocol with the customer-service server (HTTP, all under /cs/api/, answers text/plain):
//   POST /cs/api/register  sid, account, service, user, game, fid, f5, f6, f7, type, charset
//        -> 200 "ok <instance>"   creates or refreshes the session `sid` (idempotent). The
//           instance names the server's session object: a new one after the server forgot
//           the session (a restart), so the worker knows its message cursor starts again.
//   POST /cs/api/ask       sid, prefix (code page 936), user, charset
//        -> 200 "ok"              the player asks for an agent (setacc)
//   POST /cs/api/link      sid, group (field 1), charset
//        -> 200 "ok"              the player was linked to the chat page (setlnk)
//   GET  /cs/api/poll?sid=S&after=N&wait=MS
//        -> 200 "ok <instance>\n" then "m <seq>\n" for each agent message with seq > N;
//           held by the server until there is one or MS milliseconds have passed (the
//           worker asks for 20 s, and for 0 on its first poll after a failure, so that it
//           learns at once that it is connected again).
//   404 on ask, link or poll: the server does not know the session (it restarted); the worker
//   registers again and repeats what was not acknowledged. Any other failure: the worker
//   counts itself disconnected and tries again after a pause (0.2 s, doubling up to 2 s).
// Byte strings travel percent-encoded as they were given; `charset` names the system's
// character set they are in (the prefix is always code page 936), and the server decodes.
// The chat page is http://HOST/cs/chat/?sid=S (S: 32 hex digits, made by the library).
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "supportim/platform.h"
#include "supportim/protocol.h"
#include "supportim/support_im.h"

namespace supportim {

struct ChatConfig {
    std::string host;  // host[:port]
    std::string account, service, user, game, fid, field5, field6, field7, type;
    bool operator==(const ChatConfig&) const = default;
};

class ImClient {
public:
    // The one instance of the process. It is never destroyed: the library is never unloaded
    // and its worker may still run while the process exits.
    static ImClient& Instance();

    bool Init(const ChatConfig& config);
    void SetCallback(SupportImCallback callback);
    bool RequestAgent(const std::string& account, const std::string& prefix, const std::string& user);
    std::string Link(const std::string& account, const std::string& group);

    // The pause after a failure starts here and doubles up to kMaxPause.
    static constexpr std::chrono::milliseconds kFirstPause{200};
    static constexpr std::chrono::milliseconds kMaxPause{2000};
    // How long the server may hold a poll, and the grace on top of it for the answer.
    static constexpr std::chrono::milliseconds kPollHold{20000};
    static constexpr std::chrono::milliseconds kCallTimeout{8000};
    // Messages kept for a callback that is not registered yet.
    static constexpr size_t kMaxUndelivered = 64;

private:
    // A notice to the server that waits in order until acknowledged.
    struct Notice {
        std::string path;  // "ask" or "link"
        std::string form;  // without the sid
    };

    ImClient() = default;
    void Run();
    // One pass of the worker: register if needed, send the notices, poll, deliver.
    void Step();
    // Waits the pause (cut short by new work); doubles it.
    void Pause();
    // Adds a notice and makes the worker take it up at once (needs mu_).
    void Queue(Notice notice);
    std::string ChatAddress() const;  // needs mu_
    HttpReply Call(const std::string& host, const std::string& pathAndQuery, const std::string& form,
                   std::chrono::milliseconds timeout);

    std::mutex mu_;  // guards everything below; never held during I/O or the callback
    std::condition_variable wake_;
    std::unique_ptr<Transport> transport_;  // made once, before the worker starts
    bool started_ = false;                  // the worker runs (detached, for the process's life)
    bool configured_ = false;
    ChatConfig config_;
    std::string charset_;
    std::string sid_;
    uint64_t generation_ = 0;  // bumped by every change the worker must start its step anew for
    bool registered_ = false;  // the server knows sid_ (as far as the worker learned)
    bool connected_ = false;   // the last exchange with the server succeeded
    std::string instance_;     // the server's session object that the cursor belongs to
    uint64_t cursor_ = 0;      // highest message seq received
    std::deque<Notice> notices_;
    std::deque<uint64_t> undelivered_;
    SupportImCallback callback_ = nullptr;
    std::chrono::milliseconds pause_{kFirstPause};
};

}  // namespace supportim
