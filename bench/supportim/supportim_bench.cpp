// The chat library (libSupportIM.so, loaded at run time) against the portal's customer-service
// server on threads of this program:
//   BM_AgentMessageToCallback   from the agent's send (its request leaving the console) to the
//                               library's callback with the message, over real sockets
//   BM_CallsWhileServerStalls   setacc + setlnk, the calls of the VIP press and the link step,
//                               while the server takes requests and answers none (the target is
//                               far below 0.2 s)
//   BM_InitWithServerDown       init with a new player while nothing listens on the port
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <httplib.h>

#include "server.h"
#include "tests/supportim/loaded_library.h"

namespace {

using Clock = std::chrono::steady_clock;
using supportim_test::Lib;

// The portal on a thread, on a port of its own.
class Portal {
public:
    Portal() : server_(portal::Options{}) {
        std::string error;
        port_ = server_.Bind(&error);
        thread_ = std::thread([this] { server_.Listen(); });
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    }
    ~Portal() {
        server_.Stop();
        thread_.join();
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    bool Post(const char* path, const httplib::Params& form) {
        auto res = client_->Post(path, form);
        return res && res->status == 200;
    }

private:
    portal::Server server_;
    int port_ = -1;
    std::thread thread_;
    std::unique_ptr<httplib::Client> client_;
};

// The callback signals the bench thread with the time it was called.
std::mutex g_mutex;
std::condition_variable g_arrived;
int g_count = 0;
Clock::time_point g_when;

int OnMessage(const char*) {
    const auto now = Clock::now();
    std::lock_guard<std::mutex> l(g_mutex);
    ++g_count;
    g_when = now;
    g_arrived.notify_all();
    return 1;
}

bool WaitConnected() {
    for (int i = 0; i < 500; ++i) {
        if (Lib().SetAcc()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void BM_AgentMessageToCallback(benchmark::State& state) {
    if (!Lib().Loaded()) return state.SkipWithError("libSupportIM.so not loaded");
    Portal portal;
    Lib().Init(portal.Host());
    Lib().ongetlok(OnMessage);
    if (!WaitConnected()) return state.SkipWithError("the library did not connect");
    for (auto _ : state) {
        int before;
        {
            std::lock_guard<std::mutex> l(g_mutex);
            before = g_count;
        }
        const auto t0 = Clock::now();
        if (!portal.Post("/cs/agent/send", {{"user", "alice"}, {"text", "您好"}})) {
            return state.SkipWithError("the agent's message was refused");
        }
        std::unique_lock<std::mutex> l(g_mutex);
        if (!g_arrived.wait_for(l, std::chrono::seconds(5), [&] { return g_count > before; })) {
            return state.SkipWithError("no callback within 5 s");
        }
        state.SetIterationTime(std::chrono::duration<double>(g_when - t0).count());
    }
    Lib().ongetlok(nullptr);
}
BENCHMARK(BM_AgentMessageToCallback)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

void BM_CallsWhileServerStalls(benchmark::State& state) {
    if (!Lib().Loaded()) return state.SkipWithError("libSupportIM.so not loaded");
    Portal portal;
    Lib().Init(portal.Host());
    if (!WaitConnected()) return state.SkipWithError("the library did not connect");
    portal.Post("/__cs/service", {{"mode", "stall"}});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    double worst = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(Lib().SetAcc());
        benchmark::DoNotOptimize(Lib().SetLnk());
        worst = std::max(worst, std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    state.counters["worst_us"] = worst;
    portal.Post("/__cs/service", {{"mode", "up"}});
}
BENCHMARK(BM_CallsWhileServerStalls)->Unit(benchmark::kMicrosecond);

void BM_InitWithServerDown(benchmark::State& state) {
    if (!Lib().Loaded()) return state.SkipWithError("libSupportIM.so not loaded");
    std::string host;
    {
        Portal gone;
        host = gone.Host();
    }
    int n = 0;
    double worst = 0;
    for (auto _ : state) {
        const std::string user = "p" + std::to_string(n++ % 2);  // a new player each time
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(Lib().Init(host, user.c_str()));
        worst = std::max(worst, std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    state.counters["worst_us"] = worst;
}
BENCHMARK(BM_InitWithServerDown)->Unit(benchmark::kMicrosecond);

}  // namespace
