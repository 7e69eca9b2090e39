// The pages' performance reports (--perf): the switch, what a report may hold, the reporter
// in the launcher and game pages, and the reports in the request log with their times.
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "options.h"
#include "perf.h"
#include "request_log.h"
#include "tests/portal/test_support.h"

namespace portal {
namespace {

TEST(Options, PerfIsASwitchWithoutValue) {
    Options o;
    std::string error;
    bool help = false;
    ASSERT_TRUE(ParseOptions({"--perf", "--port", "9"}, &o, &error, &help)) << error;
    EXPECT_TRUE(o.perf);
    EXPECT_EQ(o.port, 9) << "the switch must not take the next argument as its value";
    ASSERT_TRUE(ParseOptions({"--port", "9"}, &o, &error, &help));
    EXPECT_FALSE(o.perf);
    EXPECT_FALSE(ParseOptions({"--perf=1"}, &o, &error, &help));
}

TEST(PerfReport, AcceptsWhatPagesSendAndNothingElse) {
    using Params = std::vector<std::pair<std::string, std::string>>;
    auto parse = [](PerfKind kind, const Params& params) {
        return ParsePerfReport(kind, [&params](const char* name) -> std::optional<std::string> {
            for (const auto& [k, v] : params) {
                if (k == name) return v;
            }
            return std::nullopt;
        });
    };
    // A wall-clock time in ms has 13 digits today; performance.now() fractions.
    auto load = parse(PerfKind::kLoad, {{"page", "launcher"}, {"at", "1767225600123.456"}, {"w", "788"}, {"h", "387"}});
    ASSERT_TRUE(load);
    EXPECT_EQ(load->page, "launcher");
    EXPECT_DOUBLE_EQ(load->at_ms, 1767225600123.456);
    EXPECT_EQ(load->width, 788);
    EXPECT_EQ(load->height, 387);
    auto frames = parse(PerfKind::kFrames, {{"page", "game"}, {"n", "1801"}, {"t", "30512.5"}});
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->frames, 1801);
    EXPECT_DOUBLE_EQ(frames->t_ms, 30512.5);
    EXPECT_FALSE(parse(PerfKind::kFrames, {{"page", "game"}, {"n", "5"}})) << "t missing";
    EXPECT_FALSE(parse(PerfKind::kLoad, {{"page", "game"}, {"n", "5"}, {"t", "1"}}))
        << "a frame report is no load report";

    for (const char* bad :
         {"", "-1", "1e3", "1.", ".5", "1.1234567", "0x10", " 1", "1 ", "1234567890123456", "NaN", "inf", "1,5"}) {
        EXPECT_FALSE(PerfNumber(bad)) << bad;
    }
    EXPECT_EQ(PerfNumber("0"), 0.0);
    EXPECT_EQ(PerfNumber("123456789012345.123456"), 123456789012345.123456);
    EXPECT_FALSE(PerfCount("1.0"));
    EXPECT_FALSE(PerfCount("1234567890123"));
    EXPECT_EQ(PerfCount("999999999999"), 999999999999L);
    for (const char* bad : {"", "Game", "game1", "a-b", "abcdefghijklmnopq", "游戏"}) {
        EXPECT_FALSE(IsPerfPageName(bad)) << bad;
    }
}

TEST(PerfReport, PagesCarryTheReporterOnlyWhenAskedAndReportsAreLoggedWithTheirTime) {
    {
        RunningServer plain;
        auto cli = plain.Client();
        EXPECT_EQ(cli->Get("/game/play/?server=S1")->body.find("/__perf/"), std::string::npos);
        EXPECT_EQ(cli->Get("/game/s/dmor/?uid=a&suid=1")->body.find("/__perf/"), std::string::npos);
    }
    Options options;
    options.perf = true;
    RunningServer s(options);
    auto cli = s.Client();
    const std::string game = cli->Get("/game/play/?server=S1")->body;
    const std::string launcher = cli->Get("/game/s/dmor/?uid=a&suid=1")->body;
    for (const std::string* html : {&game, &launcher}) {
        const size_t script = html->find("/__perf/load?page=");
        ASSERT_NE(script, std::string::npos);
        EXPECT_LT(script, html->rfind("</body>")) << "the reporter belongs inside the body";
    }
    EXPECT_NE(game.find("var page = 'game', countFrames = true;"), std::string::npos);
    EXPECT_NE(launcher.find("var page = 'launcher', countFrames = false;"), std::string::npos);
    EXPECT_EQ(cli->Get("/game/play/frame?server=S1")->body.find("/__perf/"), std::string::npos)
        << "frames inside the page report nothing of their own";

    ASSERT_TRUE(cli->Post("/__log/clear", "", "text/plain"));
    const int64_t before = MonotonicMicros();
    auto ok = cli->Get("/__perf/load?page=game&at=1767225600123.5&w=1916&h=1012");
    const int64_t after = MonotonicMicros();
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 204);
    EXPECT_EQ(cli->Get("/__perf/frames?page=game&n=60&t=1000.25")->status, 204);
    EXPECT_EQ(cli->Get("/__perf/frames?page=game&n=-1&t=1000")->status, 400);
    EXPECT_EQ(cli->Get("/__perf/load?page=game&at=1&w=1")->status, 400);

    Json log = ParseJson(cli->Get("/__log")->body);
    ASSERT_EQ(log.items.size(), 4u) << "every report is logged, the malformed ones too";
    const Json& first = log.items[0];
    EXPECT_EQ(first["path"].text, "/__perf/load");
    EXPECT_EQ(first["query"].text, "page=game&at=1767225600123.5&w=1916&h=1012");
    // The time the report came, on the same monotonic clock as other programs read.
    EXPECT_GE(first["mono_us"].number, static_cast<double>(before));
    EXPECT_LE(first["mono_us"].number, static_cast<double>(after));
    const double wall_now = static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    EXPECT_NEAR(first["wall_ms"].number, wall_now, 5000.0);
}

}  // namespace
}  // namespace portal
