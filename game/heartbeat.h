#pragma once
// The heartbeat: while the customer service runs, a worker reports to the platform portal with
// the user, game and f_id of the service list, at once and then a minute after each answer,
// for as long as the answers hold a "1" somewhere. An answer without one (an empty answer
// after a failed request included) ends that worker for good; so does the end of the chat
// (the VIP window closed), after which no worker reports again.
//
// Each worker is an fw::Worker with an HTTP client of its own and touches no window. Its pause
// is a wait on its run signal, so the end of the chat or of the window cuts it short at once;
// a request under way is aborted then. The window's going joins every worker (Stop), which
// therefore takes no longer than an aborted request needs to return.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fw/threading.h"
#include "game/chat_library.h"

class CHttpClient;

class Heartbeat {
public:
    static constexpr std::chrono::milliseconds kPause{60000};
    static constexpr const char* kPathFormat = "/?m=game&c=heartbeat&userid=%s&g_id=%s&f_id=%s&type=cs";

    Heartbeat();
    ~Heartbeat();
    Heartbeat(const Heartbeat&) = delete;
    Heartbeat& operator=(const Heartbeat&) = delete;

    // The report's address on the portal: fields 2, 3 and 4 put in as they are (no escaping),
    // whatever their length.
    static std::string Address(const std::string& portalHost, const chat::ServiceFields& fields);
    // Whether the portal's answer lets the worker report again after its pause: a "1"
    // anywhere in it.
    static bool AnswerGoesOn(std::string_view answer) { return answer.find('1') != std::string_view::npos; }

    // One more worker for `address`; workers started before go on with theirs. A worker started
    // after the chat ended sends nothing.
    void Start(const std::string& address);
    // The chat ended: every worker stops now and none reports again.
    void EndForGood();
    bool keepBeating() const { return m_keepBeating.load(); }
    // The window goes: the workers stop and are joined.
    void Stop();

    // Workers of the process that have not ended yet, and those of them in their pause.
    static int Running();
    static int Pausing();
    // The pause between reports (tests shorten it; zero restores the minute).
    static void SetPauseForTesting(std::chrono::milliseconds pause);

private:
    struct Worker {
        std::unique_ptr<CHttpClient> client;  // used by the worker; Abort from the window
        fw::Worker thread;                    // declared after the client: joined before it goes
    };
    void Run(CHttpClient& client, const std::string& address, std::chrono::milliseconds pause,
             const fw::Event& stop) const;
    // Joins the workers that have ended.
    void Reap();

    std::atomic<bool> m_keepBeating{true};  // read by the workers, which end before this object
    std::vector<Worker> m_workers;
    bool m_bStopped = false;
};
