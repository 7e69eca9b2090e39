// The heartbeat's workers against a real HTTP server on 127.0.0.1: which answers keep them
// going, how the end of the chat and the end of the window stop them (in a pause, in a request),
// and the address they report to.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "beat_server.h"
#include "game/heartbeat.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const chat::ServiceFields kFields{"kf_dmor", "alice", "dmor", "1001", "vip3", "S1", "zh-CN"};
constexpr const char* kTarget = "/?m=game&c=heartbeat&userid=alice&g_id=dmor&f_id=1001&type=cs";

bool WaitUntil(const std::function<bool()>& done, milliseconds timeout = milliseconds(10000)) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

class HeartbeatWorker : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ok()); }
    void TearDown() override {
        beat.Stop();
        EXPECT_EQ(Heartbeat::Running(), 0);
        Heartbeat::SetPauseForTesting(milliseconds(0));
    }
    std::string Address() const { return Heartbeat::Address(server.host(), kFields); }

    BeatServer server;
    Heartbeat beat;
};

}  // namespace

TEST(HeartbeatAddress, FieldsTwoThreeAndFourAsTheyAre) {
    EXPECT_EQ(Heartbeat::Address("portal.test:8080", kFields), std::string("http://portal.test:8080") + kTarget);
    // No fixed buffer: long values go out whole (the address is far beyond 119 characters).
    chat::ServiceFields longer = kFields;
    longer[1] = std::string(150, 'u');
    longer[3] = std::string(90, '7');
    const std::string a = Heartbeat::Address("p.test", longer);
    EXPECT_EQ(a, "http://p.test/?m=game&c=heartbeat&userid=" + std::string(150, 'u') +
                     "&g_id=dmor&f_id=" + std::string(90, '7') + "&type=cs");
    // The other fields are not sent.
    EXPECT_EQ(a.find("kf_dmor"), std::string::npos);
    EXPECT_EQ(a.find("vip3"), std::string::npos);
    // A field that holds the format's own placeholder is a value like any other: the next
    // field goes to its own place, not into it.
    chat::ServiceFields marked = kFields;
    marked[1] = "u%s1";
    EXPECT_EQ(Heartbeat::Address("p.test", marked),
              "http://p.test/?m=game&c=heartbeat&userid=u%s1&g_id=dmor&f_id=" + kFields[3] + "&type=cs");
}

TEST_F(HeartbeatWorker, AOneAnywhereInTheAnswerKeepsItGoing) {
    Heartbeat::SetPauseForTesting(milliseconds(20));
    server.SetAnswer("10");  // the digit inside a longer number
    beat.Start(Address());
    ASSERT_TRUE(server.WaitForRequests(3));
    server.SetAnswer("{\"ok\":true,\"next\":\"x1y\"}");
    const std::size_t seen = server.Targets().size();
    ASSERT_TRUE(server.WaitForRequests(seen + 2));
    EXPECT_EQ(Heartbeat::Running(), 1);

    // An answer of only 0 ends it.
    server.SetAnswer("0");
    ASSERT_TRUE(WaitUntil([] { return Heartbeat::Running() == 0; }));
    const std::size_t total = server.Targets().size();
    std::this_thread::sleep_for(milliseconds(100));  // five pauses: nobody asks again
    EXPECT_EQ(server.Targets().size(), total);
    for (const std::string& t : server.Targets()) EXPECT_EQ(t, kTarget);
}

TEST_F(HeartbeatWorker, AnEmptyOrFailedAnswerEndsIt) {
    Heartbeat::SetPauseForTesting(milliseconds(20));
    server.SetAnswer("");
    beat.Start(Address());
    ASSERT_TRUE(WaitUntil([] { return Heartbeat::Running() == 0; }));
    EXPECT_EQ(server.Targets().size(), 1u);

    // Nobody listens: the failed request answers nothing, and that ends it too.
    int port = 0;
    const test_socket::Socket s = test_socket::ListenLoopback(port);
    ASSERT_NE(s, test_socket::kNoSocket);
    test_socket::Close(s);
    chat::ServiceFields f = kFields;
    beat.Start(Heartbeat::Address("127.0.0.1:" + std::to_string(port), f));
    ASSERT_TRUE(WaitUntil([] { return Heartbeat::Running() == 0; }));
}

TEST_F(HeartbeatWorker, TheEndOfTheChatStopsItInItsPauseAndForGood) {
    beat.Start(Address());  // the real minute between reports
    ASSERT_TRUE(WaitUntil([] { return Heartbeat::Pausing() == 1; }));
    ASSERT_EQ(server.Targets().size(), 1u);
    EXPECT_TRUE(beat.keepBeating());
    beat.EndForGood();
    EXPECT_FALSE(beat.keepBeating());
    // Woken in its pause, not a minute later.
    ASSERT_TRUE(WaitUntil([] { return Heartbeat::Running() == 0; }, milliseconds(5000)));

    // A later start (a later ShowIM) reports nothing.
    beat.Start(Address());
    ASSERT_TRUE(WaitUntil([] { return Heartbeat::Running() == 0; }));
    EXPECT_EQ(server.Targets().size(), 1u);
}

TEST_F(HeartbeatWorker, EveryStartAddsAWorkerWithItsOwnAddress) {
    beat.Start(Address());
    chat::ServiceFields other = kFields;
    other[1] = "bob";
    beat.Start(Heartbeat::Address(server.host(), other));
    ASSERT_TRUE(server.WaitForRequests(2));
    EXPECT_EQ(Heartbeat::Running(), 2);
    auto targets = server.Targets();
    std::sort(targets.begin(), targets.end());
    EXPECT_EQ(targets[0], kTarget);
    EXPECT_EQ(targets[1], "/?m=game&c=heartbeat&userid=bob&g_id=dmor&f_id=1001&type=cs");
    beat.Stop();
    EXPECT_EQ(Heartbeat::Running(), 0);
}

// The window goes while its worker waits out the minute, or waits for an answer that does not
// come: Stop ends and joins the worker at once in either case.
TEST_F(HeartbeatWorker, AClosingWindowEndsItAtOnceInAPauseOrARequest) {
    beat.Start(Address());
    ASSERT_TRUE(WaitUntil([] { return Heartbeat::Pausing() == 1; }));
    beat.Stop();
    EXPECT_EQ(Heartbeat::Running(), 0);
    beat.Start(Address());  // a closed window starts nothing
    EXPECT_EQ(Heartbeat::Running(), 0);

    BeatServer silent;
    ASSERT_TRUE(silent.ok());
    silent.SetSilent(true);
    Heartbeat other;
    other.Start(Heartbeat::Address(silent.host(), kFields));
    ASSERT_TRUE(silent.WaitForRequests(1));
    const auto t0 = Clock::now();
    other.Stop();  // the request is aborted, not waited out (its time-out is 30 s)
    EXPECT_LT(Clock::now() - t0, milliseconds(10000));
    EXPECT_EQ(Heartbeat::Running(), 0);
}
