// The portal's endpoints besides the pages: the platform's heartbeat answer, the request log
// that tests of the client read, and the bridge benchmark's results.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "options.h"
#include "server.h"
#include "tests/portal/test_support.h"

namespace portal {
namespace {

TEST(Heartbeat, AnswersTheConfiguredText) {
    for (const std::string answer : {"1", "10", "0", ""}) {
        Options o;
        o.heartbeat_answer = answer;
        RunningServer s(o);
        auto res = s.Client()->Get("/?m=game&c=heartbeat&userid=u1&g_id=dmor&f_id=1001&type=cs");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->body, answer);
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain; charset=utf-8");
        // The site root without the heartbeat query is the game site's home.
        auto home = s.Client()->Get("/");
        ASSERT_TRUE(home);
        EXPECT_NE(home->body.find("data-test=\"home\""), std::string::npos);
    }
}

TEST(RequestLogEndpoint, RecordsEscapesAndFiltersRequests) {
    RunningServer s;
    auto cli = s.Client();
    ASSERT_TRUE(cli->Get("/game/s/dmor/?uid=bob&suid=2", {{"Cookie", "a=1; b=\"2\""}, {"User-Agent", "LumoTest/1.0"}}));
    ASSERT_TRUE(cli->Get("/odd%22path%0Aline%5C%FF"));

    auto all = cli->Get("/__log");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->get_header_value("Content-Type"), "application/json; charset=utf-8");
    Json log = ParseJson(all->body);
    ASSERT_EQ(log.kind, Json::kArray);
    ASSERT_EQ(log.items.size(), 2u) << "reading the log must not be logged";
    const Json& first = log.items[0];
    EXPECT_EQ(first["seq"].number, 1);
    EXPECT_EQ(first["method"].text, "GET");
    EXPECT_EQ(first["path"].text, "/game/s/dmor/");
    EXPECT_EQ(first["query"].text, "uid=bob&suid=2");
    EXPECT_EQ(first["cookie"].text, "a=1; b=\"2\"");
    EXPECT_EQ(first["user_agent"].text, "LumoTest/1.0");
    EXPECT_EQ(first["t_ms"].kind, Json::kNumber);
    EXPECT_EQ(log.items[1]["path"].text, "/odd\"path\nline\\\xEF\xBF\xBD");

    auto newer = cli->Get("/__log?since=1");
    ASSERT_TRUE(newer);
    Json tail = ParseJson(newer->body);
    ASSERT_EQ(tail.items.size(), 1u);
    EXPECT_EQ(tail.items[0]["seq"].number, 2);
    EXPECT_EQ(ParseJson(cli->Get("/__log?since=2")->body).items.size(), 0u);
    EXPECT_EQ(cli->Get("/__log?since=x1")->status, 400);

    auto cleared = cli->Post("/__log/clear", "", "text/plain");
    ASSERT_TRUE(cleared);
    EXPECT_EQ(ParseJson(cleared->body)["cleared"].number, 2);
    ASSERT_TRUE(cli->Get("/kefu/"));
    Json after = ParseJson(cli->Get("/__log")->body);
    ASSERT_EQ(after.items.size(), 1u);
    EXPECT_EQ(after.items[0]["seq"].number, 3) << "numbers go on after a clear";
}

TEST(RequestLogEndpoint, KeepsEveryRequestUnderConcurrency) {
    RunningServer s;
    constexpr int kThreads = 6, kEach = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&s, t] {
            auto cli = s.Client();
            for (int i = 0; i < kEach; ++i) {
                cli->Get("/news/" + std::to_string(t * 100 + i + 1));
            }
        });
    }
    for (auto& t : threads) t.join();
    Json log = ParseJson(s.Client()->Get("/__log")->body);
    ASSERT_EQ(log.items.size(), static_cast<size_t>(kThreads * kEach));
    for (size_t i = 0; i < log.items.size(); ++i) {
        EXPECT_EQ(log.items[i]["seq"].number, static_cast<double>(i + 1));
    }
}

TEST(Bench, StoresValidResultsOnly) {
    EXPECT_EQ(BenchLineToJson("bench:007:1:1"), std::nullopt);
    EXPECT_EQ(BenchLineToJson("bench:1:2"), std::nullopt);
    EXPECT_EQ(BenchLineToJson("bench:1:2:3\"}"), std::nullopt);
    RunningServer s;
    auto cli = s.Client();
    EXPECT_EQ(cli->Get("/__bench")->status, 404);
    EXPECT_EQ(cli->Post("/__bench", "bench:1:2:x", "text/plain")->status, 400);
    EXPECT_EQ(cli->Post("/__bench", "bench:12.34:0.56:78.9", "text/plain")->status, 200);
    Json result = ParseJson(cli->Get("/__bench")->body);
    EXPECT_DOUBLE_EQ(result["get_us"].number, 12.34);
    EXPECT_DOUBLE_EQ(result["noop_us"].number, 0.56);
    EXPECT_DOUBLE_EQ(result["total_ms"].number, 78.9);
    EXPECT_EQ(cli->Post("/__bench", "bench:error:no-bridge", "text/plain")->status, 200);
    EXPECT_EQ(ParseJson(*s.server().bench_json())["error"].text, "no-bridge");
}

}  // namespace
}  // namespace portal
