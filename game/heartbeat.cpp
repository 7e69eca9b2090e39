#include "game/heartbeat.h"

#include <system_error>

#include "fw/text.h"
#include "fw/trace.h"
#include "net/http_client.h"
#include "shared/hosts.h"

namespace {
std::atomic<int> g_running{0};
std::atomic<int> g_pausing{0};
std::atomic<long long> g_pauseMs{Heartbeat::kPause.count()};
}  // namespace

Heartbeat::Heartbeat() = default;

Heartbeat::~Heartbeat() { Stop(); }

int Heartbeat::Running() { return g_running.load(); }
int Heartbeat::Pausing() { return g_pausing.load(); }

void Heartbeat::SetPauseForTesting(std::chrono::milliseconds pause) {
    g_pauseMs = pause.count() > 0 ? pause.count() : kPause.count();
}

std::string Heartbeat::Address(const std::string& portalHost, const chat::ServiceFields& fields) {
    // The fields are in the system's character set, as the library takes them; the address is
    // formed from them as they are and read back (the HTTP client encodes what an address
    // cannot hold).
    // Each value goes to the next placeholder after the one before it, so that a value holding
    // "%s" itself is never filled in.
    std::string path = kPathFormat;
    std::size_t at = 0;
    for (int k : {1, 2, 3}) {
        const std::string value = fw::SystemToUtf8(fields[static_cast<std::size_t>(k)]);
        at = path.find("%s", at);
        path.replace(at, 2, value);
        at += value.size();
    }
    return shared::HttpAddress(portalHost, path);
}

void Heartbeat::Start(const std::string& address) {
    if (m_bStopped) return;
    Reap();
    Worker w;
    w.client = std::make_unique<CHttpClient>();
    w.done = std::make_shared<std::atomic<bool>>(false);
    const std::chrono::milliseconds pause(g_pauseMs.load());
    ++g_running;
    try {
        w.thread = std::thread([shared = m_shared, client = w.client.get(), done = w.done, address, pause] {
            Run(shared, *client, address, pause);
            fw::TraceMark("heartbeat-end");
            *done = true;
            --g_running;
        });
    } catch (const std::system_error&) {
        --g_running;  // no thread to be had: no heartbeat this time
        return;
    }
    // Stopped meanwhile (EndForGood): the new client is aborted like the others.
    if (!m_shared->keepBeating) w.client->Abort();
    m_workers.push_back(std::move(w));
}

void Heartbeat::Run(const std::shared_ptr<Shared>& shared, CHttpClient& client, const std::string& address,
                    std::chrono::milliseconds pause) {
    while (shared->keepBeating && !shared->stop.IsSet()) {
        std::string answer;
        client.Get(address, answer);  // only the answer counts: empty after a failure
        fw::TraceMark("heartbeat-answered");
        if (!AnswerGoesOn(answer)) return;
        ++g_pausing;
        const bool stopped = shared->stop.WaitFor(pause);
        --g_pausing;
        if (stopped) return;
    }
}

void Heartbeat::EndForGood() {
    m_shared->keepBeating = false;
    m_shared->stop.Set();
    for (Worker& w : m_workers) w.client->Abort();
}

void Heartbeat::Stop() {
    m_bStopped = true;
    m_shared->stop.Set();
    for (Worker& w : m_workers) w.client->Abort();
    for (Worker& w : m_workers)
        if (w.thread.joinable()) w.thread.join();
    m_workers.clear();
}

void Heartbeat::Reap() {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (*it->done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}
