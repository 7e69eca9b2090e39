// fw::Worker: its function sees the run signal, Stop joins, and a bounded stop gives up on a
// function that does not look at the signal, leaving it to a later Stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <utility>

#include "fw/threading.h"

using namespace std::chrono_literals;

TEST(FwWorker, StopWakesThePauseAndJoinsAndTheDestructorStopsToo) {
    std::atomic<int> ended{0};
    {
        fw::Worker w;
        ASSERT_TRUE(w.Start([&](const fw::Event& stop) {
            stop.Wait();
            ++ended;
        }));
        EXPECT_TRUE(w.Running());
        w.Stop();
        EXPECT_EQ(ended, 1);  // returned before Stop did
        EXPECT_FALSE(w.Running());
        EXPECT_FALSE(w.Joinable());

        // Started again, then moved: the new owner's destructor stops it.
        ASSERT_TRUE(w.Start([&](const fw::Event& stop) {
            stop.Wait();
            ++ended;
        }));
        fw::Worker moved = std::move(w);
        EXPECT_FALSE(w.Joinable());
        EXPECT_TRUE(moved.Running());
    }
    EXPECT_EQ(ended, 2);
}

TEST(FwWorker, StopWithinGivesUpOnAFunctionInAStepAndALaterStopJoins) {
    fw::Event release;
    std::atomic<bool> sawStop{false};
    fw::Worker w;
    ASSERT_TRUE(w.Start([&](const fw::Event& stop) {
        release.Wait();  // a step that does not look at the signal
        sawStop = stop.IsSet();
    }));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(w.StopWithin(50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 50ms);
    EXPECT_TRUE(w.Running());
    EXPECT_TRUE(w.Joinable());
    release.Set();
    w.Stop();
    EXPECT_TRUE(sawStop);
    EXPECT_FALSE(w.Joinable());
    // A worker that has ended is joined within any bound.
    ASSERT_TRUE(w.Start([](const fw::Event&) {}));
    EXPECT_TRUE(w.StopWithin(5000ms));
    EXPECT_FALSE(w.Joinable());
}
