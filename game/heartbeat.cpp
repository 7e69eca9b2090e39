#include "game/heartbeat.h"

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
    const std::chrono::milliseconds pause(g_pauseMs.load());
    ++g_running;
    const bool started = w.thread.Start([this, client = w.client.get(), address, pause](const fw::Event& stop) {
        Run(*client, address, pause, stop);
        fw::TraceMark("heartbeat-end");
        --g_running;
    });
    if (!started) {
        --g_running;  // no thread to be had: no heartbeat this time
        return;
    }
    // Ended meanwhile (EndForGood): the new worker is stopped like the others.
    if (!m_keepBeating) {
        w.thread.RequestStop();
        w.client->Abort();
    }
    m_workers.push_back(std::move(w));
}

void Heartbeat::Run(CHttpClient& client, const std::string& address, std::chrono::milliseconds pause,
                    const fw::Event& stop) const {
    while (m_keepBeating && !stop.IsSet()) {
        std::string answer;
        client.Get(address, answer);  // only the answer counts: empty after a failure
        fw::TraceMark("heartbeat-answered");
        if (!AnswerGoesOn(answer)) return;
        ++g_pausing;
        const bool stopped = stop.WaitFor(pause);
        --g_pausing;
        if (stopped) return;
    }
}

void Heartbeat::EndForGood() {
    m_keepBeating = false;
    for (Worker& w : m_workers) {
        w.thread.RequestStop();
        w.client->Abort();
    }
}

void Heartbeat::Stop() {
    m_bStopped = true;
    // Every worker told and its request aborted first, then each joined.
    for (Worker& w : m_workers) {
        w.thread.RequestStop();
        w.client->Abort();
    }
    for (Worker& w : m_workers) w.thread.Stop();
    m_workers.clear();
}

void Heartbeat::Reap() {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (!it->thread.Running()) {
            it->thread.Stop();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}
