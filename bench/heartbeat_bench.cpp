// The heartbeat's cost while it waits out its minute between reports: a worker reports once to
// a server on 127.0.0.1, the server goes, and the process's CPU time is read over a stretch of
// that pause (nothing else runs in the process then). The worker waits on an event, so the
// figure should be zero.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

#include "game/heartbeat.h"
#include "tests/unit/beat_server.h"

namespace {

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void BM_HeartbeatCpuWhilePausing(benchmark::State& state) {
    const chat::ServiceFields fields{"kf_dmor", "alice", "dmor", "1001", "vip3", "S1", "zh-CN"};
    for (auto _ : state) {
        Heartbeat beat;
        {
            auto server = std::make_unique<BeatServer>();
            if (!server->ok()) {
                state.SkipWithError("no server");
                return;
            }
            beat.Start(Heartbeat::Address(server->host(), fields));
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (Heartbeat::Pausing() < 1 && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (Heartbeat::Pausing() < 1) {
                state.SkipWithError("the heartbeat did not reach its pause");
                return;
            }
        }  // the server's thread ends here: only the pausing worker is left
        const double cpu0 = ProcessCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = ProcessCpuMs() - cpu0;
        state.counters["cpu_ms_per_s"] = cpu / seconds;
        state.counters["pausing"] = Heartbeat::Pausing();
        beat.Stop();
    }
}
BENCHMARK(BM_HeartbeatCpuWhilePausing)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
