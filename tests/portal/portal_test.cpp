// Tests of the local platform stand-in: pages, heartbeat, request log,
// cookies, slow mode and the command-line program (the pages' script:
// page_script_test.cpp).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "html.h"
#include "options.h"
#include "pages.h"
#include "perf.h"
#include "request_log.h"
#include "server.h"
#include "tests/portal/test_support.h"

namespace portal {
namespace {

using Clock = std::chrono::steady_clock;

// Text of the first <span> whose id is exactly "usr", the way the client
// walks the document: every span in order, ids compared case-sensitively.
std::optional<std::string> FirstUsrSpan(const std::string& html) {
  static const std::regex kSpan(R"(<span\b([^>]*)>([^<]*)</span>)");
  static const std::regex kId(R"re(\bid="([^"]*)")re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), kSpan);
       it != std::sregex_iterator(); ++it) {
    const std::string attrs = (*it)[1];
    std::smatch id;
    if (std::regex_search(attrs, id, kId) && id[1] == "usr") return (*it)[2].str();
  }
  return std::nullopt;
}

// The opening tag of the element with the given data-test id.
std::string TagWithTestId(const std::string& html, const std::string& id) {
  const size_t at = html.find("data-test=\"" + id + "\"");
  if (at == std::string::npos) return "";
  const size_t open = html.rfind('<', at);
  return html.substr(open, html.find('>', at) - open + 1);
}

// ---------------------------------------------------------------------------

TEST(Options, ParsesValuesAndRejectsBadInput) {
  Options o;
  std::string error;
  bool help = false;
  ASSERT_TRUE(ParseOptions({"--port", "8080", "--bind=0.0.0.0", "--port-file", "/tmp/p",
                            "--slow-ms=250", "--heartbeat-answer", ""},
                           &o, &error, &help));
  EXPECT_EQ(o.port, 8080);
  EXPECT_EQ(o.bind, "0.0.0.0");
  EXPECT_EQ(o.port_file, "/tmp/p");
  EXPECT_EQ(o.slow_ms, 250);
  EXPECT_EQ(o.heartbeat_answer, "");  // an empty answer is a valid test case
  EXPECT_FALSE(help);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--port", "65536"}, {"--port", "-1"}, {"--port", "12ab"},
        {"--port"}, {"--slow-ms", "-5"}, {"--bind", ""}, {"--verbose"}, {"extra"}}) {
    Options untouched;
    untouched.port = 42;
    error.clear();
    EXPECT_FALSE(ParseOptions(bad, &untouched, &error, &help)) << bad[0];
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(untouched.port, 42) << "options changed by a failed parse";
  }
  ASSERT_TRUE(ParseOptions({"--help"}, &o, &error, &help));
  EXPECT_TRUE(help);

  // --hostile is a switch: it takes no value, and the next argument is parsed on its own.
  EXPECT_FALSE(o.hostile);
  ASSERT_TRUE(ParseOptions({"--hostile", "--port", "9"}, &o, &error, &help));
  EXPECT_TRUE(o.hostile);
  EXPECT_EQ(o.port, 9);
  EXPECT_FALSE(ParseOptions({"--hostile=1"}, &o, &error, &help));
}

TEST(JsonString, EscapesWhatJsonAndScriptsNeed) {
  EXPECT_EQ(JsonString("a\"b\\c\nd\te\x01"), R"("a\"b\\c\nd\te\u0001")");
  EXPECT_EQ(JsonString("龙焰"), "\"龙焰\"");
  // Invalid UTF-8 (a stray byte, an overlong slash, a cut sequence) becomes
  // U+FFFD per byte, so the output always parses.
  EXPECT_EQ(JsonString("x\xFFy"), "\"x\xEF\xBF\xBDy\"");
  EXPECT_EQ(JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xE9\xBE"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(ParseJson(JsonString("q\"\x1F\xF0\x9F\x90\x89")).text, "q\"\x1F\xF0\x9F\x90\x89");
  // Inside <script>: no way to close the element or break the line.
  EXPECT_EQ(JsonString("</script>&\xE2\x80\xA8", true),
            R"("\u003c/script\u003e\u0026\u2028")");
}

TEST(LauncherPage, NamesTheUserInTheFirstExactUsrSpanAfterTheDecoys) {
  RunningServer s;
  auto res = s.Client()->Get("/game/s/dmor/?uid=alice&suid=7");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
  const std::string& html = res->body;
  EXPECT_EQ(FirstUsrSpan(html), "玩家alice");
  const size_t real = html.find("<span id=\"usr\"");
  const size_t decoy_span = html.find("<span id=\"USR\"");
  const size_t decoy_div = html.find("<div id=\"usr\"");
  ASSERT_NE(real, std::string::npos);
  ASSERT_NE(decoy_span, std::string::npos);
  ASSERT_NE(decoy_div, std::string::npos);
  EXPECT_LT(decoy_span, real);
  EXPECT_LT(decoy_div, real);

  // Every listed server is offered with the name that OpenGame hands over.
  for (const GameServerInfo& srv : GameServers()) {
    EXPECT_NE(html.find("data-server=\"" + std::string(srv.id) + "\" data-name=\"" +
                        srv.name + "\""),
              std::string::npos)
        << srv.id;
  }
  EXPECT_NE(html.find("'OpenGame', gameUrl(id) + '|' + 'x' + '|' + name"), std::string::npos);

  // Client links: blanks around "=" in the plain one, none in the new-window one.
  EXPECT_NE(html.find("href=\"/game/play/?server=S9&client = 1\""), std::string::npos);
  const std::string newwin = TagWithTestId(html, "client-newwin");
  EXPECT_NE(newwin.find("target=\"_blank\""), std::string::npos);
  EXPECT_NE(newwin.find("href=\"/game/play/?server=S8&client=1\""), std::string::npos);
  const std::string host = "127.0.0.1:" + std::to_string(s.port());
  EXPECT_NE(TagWithTestId(html, "news-link").find("href=\"http://" + host + "/news/1\""),
            std::string::npos);
  EXPECT_NE(TagWithTestId(html, "file-link").find("href=\"file:///etc/hostname\""),
            std::string::npos);
  EXPECT_NE(html.find("guest: false"), std::string::npos);
}

TEST(LauncherPage, HostileModeAddsThePopupStormAndTheLocalGame) {
  {
    RunningServer plain;
    auto res = plain.Client()->Get("/game/s/dmor/?uid=alice&suid=7");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body.find("data-test=\"hostile\""), std::string::npos);
    EXPECT_EQ(res->body.find("{{"), std::string::npos);
  }
  Options o;
  o.hostile = true;
  RunningServer s(o);
  auto res = s.Client()->Get("/game/s/dmor/?uid=alice&suid=7");
  ASSERT_TRUE(res);
  const std::string& html = res->body;
  EXPECT_EQ(html.find("{{"), std::string::npos);
  const std::string storm = TagWithTestId(html, "popup-storm");
  EXPECT_NE(storm.find("i < 200; i++) window.open("), std::string::npos) << storm;
  const std::string local = TagWithTestId(html, "open-file-game");
  EXPECT_NE(local.find("WD_JAPI('OpenGame', 'file:///etc/passwd|x|"), std::string::npos) << local;
  // The rest of the page is the same: the user, the servers, the client links.
  EXPECT_EQ(FirstUsrSpan(html), "玩家alice");
  EXPECT_NE(html.find("href=\"/game/play/?server=S9&client = 1\""), std::string::npos);
}

TEST(LauncherPage, GuestsAndHostileUidsAreHandled) {
  RunningServer s;
  auto cli = s.Client();
  auto guest = cli->Get("/game/s/dmor/?uid=&suid=");
  ASSERT_TRUE(guest);
  EXPECT_EQ(FirstUsrSpan(guest->body), "游客");
  EXPECT_NE(guest->body.find("guest: true"), std::string::npos);
  auto named_guest = cli->Get("/game/s/dmor/?uid=guest42");
  ASSERT_TRUE(named_guest);
  EXPECT_EQ(FirstUsrSpan(named_guest->body), "游客42");

  // A uid with markup and script breakers stays text everywhere.
  auto hostile = cli->Get("/game/s/dmor/?uid=%3C%2Fscript%3E%3Cb%3E%22%7C");
  ASSERT_TRUE(hostile);
  EXPECT_EQ(hostile->body.find("</script><b>"), std::string::npos);
  EXPECT_EQ(FirstUsrSpan(hostile->body), "玩家&lt;/script&gt;&lt;b&gt;&quot;|");
  EXPECT_NE(hostile->body.find(R"(uid: "\u003c/script\u003e\u003cb\u003e\"|")"),
            std::string::npos);
  // The bar would shift the ShowIM fields, so it is encoded there.
  EXPECT_EQ(ServiceList("a|b"), "kf_dmor|a%7Cb|dmor|1001|vip3|S1|zh-CN|");
}

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
  ASSERT_TRUE(cli->Get("/game/s/dmor/?uid=bob&suid=2",
                       {{"Cookie", "a=1; b=\"2\""}, {"User-Agent", "LumoTest/1.0"}}));
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

TEST(GamePage, SetsTheSessionCookieOnceAndSeesItCarried) {
  RunningServer s;
  auto cli = s.Client();
  auto first = cli->Get("/game/play/?server=S2&uid=alice");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 200);
  const std::string set_cookie = first->get_header_value("Set-Cookie");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(set_cookie, m, std::regex("^lumo_session=([0-9a-f]{32});")))
      << set_cookie;
  const std::string session = m[1];
  EXPECT_NE(set_cookie.find("Max-Age=31536000"), std::string::npos);
  EXPECT_NE(set_cookie.find("Path=/"), std::string::npos);
  EXPECT_NE(first->body.find("data-state=\"new\""), std::string::npos);
  EXPECT_NE(first->body.find("S2 霜翼"), std::string::npos);
  EXPECT_NE(first->body.find("href=\"client://loadgame?url=http://127.0.0.1:" +
                             std::to_string(s.port()) +
                             "/game/play/?server=S2&amp;reloaded=1\""),
            std::string::npos);

  auto second = cli->Get("/game/play/?server=S2&uid=alice&reloaded=1",
                         {{"Cookie", "other=1; lumo_session=" + session}});
  ASSERT_TRUE(second);
  EXPECT_FALSE(second->has_header("Set-Cookie"));
  EXPECT_NE(second->body.find("data-state=\"carried\""), std::string::npos);
  EXPECT_NE(second->body.find(session), std::string::npos);
  EXPECT_NE(second->body.find("display:inline-block"), std::string::npos) << "reloaded badge";
  Json log = ParseJson(cli->Get("/__log")->body);
  ASSERT_EQ(log.items.size(), 2u);
  EXPECT_EQ(log.items[0]["cookie"].text, "");
  EXPECT_EQ(log.items[1]["cookie"].text, "other=1; lumo_session=" + session);

  // A cookie of a similar name does not count as the session.
  auto similar = cli->Get("/game/play/?server=S1", {{"Cookie", "xlumo_session=1"}});
  ASSERT_TRUE(similar);
  EXPECT_TRUE(similar->has_header("Set-Cookie"));
}

TEST(GamePage, PlaysItsMusicOnlyWhenAsked) {
  Options o;
  std::string error;
  bool help = false;
  ASSERT_TRUE(ParseOptions({"--music", "--slow-ms", "0"}, &o, &error, &help)) << error;
  EXPECT_TRUE(o.music);
  const std::string tag = "<audio src=\"/game/play/music.wav\" autoplay loop";
  {
    RunningServer plain;
    EXPECT_EQ(plain.Client()->Get("/game/play/?server=S2")->body.find("<audio"), std::string::npos);
  }
  RunningServer s(o);
  auto cli = s.Client();
  EXPECT_NE(cli->Get("/game/play/?server=S2")->body.find(tag), std::string::npos);

  auto wav = cli->Get("/game/play/music.wav");
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->get_header_value("Content-Type"), "audio/wav");
  const std::string& b = wav->body;
  ASSERT_GT(b.size(), 44u);
  auto u32 = [&b](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
  };
  EXPECT_EQ(b.substr(0, 4), "RIFF");
  EXPECT_EQ(u32(4), b.size() - 8);
  EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(u32(24), 22050u);
  EXPECT_EQ(b.substr(36, 4), "data");
  EXPECT_EQ(u32(40), b.size() - 44);
  EXPECT_EQ(u32(40), 2u * 2 * 22050) << "two seconds of 16-bit mono";
  int peak = 0;
  for (size_t i = 44; i + 1 < b.size(); i += 2)
    peak = std::max(peak, std::abs(static_cast<int16_t>(static_cast<unsigned char>(b[i]) | b[i + 1] << 8)));
  EXPECT_GT(peak, 8000) << "loud enough to hear";
  EXPECT_LT(peak, 32767) << "and not clipped";
}

TEST(Routing, ServesEveryPageAndA404ForTheRest) {
  RunningServer s;
  auto cli = s.Client();
  const std::vector<std::pair<std::string, std::string>> pages = {
      {"/game/s/dmor/frame", "frame-apiver"},
      {"/game/play/frame?server=S3", "countdown"},
      {"/pay/?g=dmor&uid=alice", "WD_JAPI('closedBox')"},
      {"/game/s/jihuo/?game=wkln", "WD_JAPI('AccountBindSuccess', 'ok')"},
      {"/cs/chat/?sid=42", "WD_JAPI('DialogBoxTopInfo', key)"},
      {"/cs/agent/", "data-test=\"sessions\""},
      {"/?g=dmor", "pay-site"},
      {"/forum.php?mod=forumdisplay&fid=177", "forum"},
      {"/kefu/", "data-test=\"kefu\""},
      {"/news/12", "data-news=\"12\""},
      {"/bench/bridge", "bench:"},
      {"/__sim", "__simInstall"},
  };
  for (const auto& [path, marker] : pages) {
    auto res = cli->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 200) << path;
    EXPECT_NE(res->body.find(marker), std::string::npos) << path;
  }
  EXPECT_NE(cli->Get("/cs/chat/?sid=42")->body.find("window.external.API_close()"),
            std::string::npos);
  EXPECT_NE(cli->Get("/game/s/jihuo/?game=wkln")->body.find("WD_JAPI('CloseBindPage', '')"),
            std::string::npos);

  for (const std::string path : {"/nope", "/news/0", "/news/abc", "/game/s/other/", "/%3Cb%3E"}) {
    auto res = cli->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 404) << path;
    EXPECT_NE(res->body.find("data-test=\"not-found\""), std::string::npos) << path;
    EXPECT_EQ(res->body.find("<b>"), std::string::npos) << "path must be escaped";
  }
  EXPECT_EQ(cli->Get("/bench/bridge?n=0")->status, 400);
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
  auto load = parse(PerfKind::kLoad, {{"page", "launcher"}, {"at", "1767225600123.456"},
                                      {"w", "788"}, {"h", "387"}});
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

  for (const char* bad : {"", "-1", "1e3", "1.", ".5", "1.1234567", "0x10", " 1", "1 ",
                          "1234567890123456", "NaN", "inf", "1,5"}) {
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
  const double wall_now = static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch()).count());
  EXPECT_NEAR(first["wall_ms"].number, wall_now, 5000.0);
}

TEST(SlowMode, DelaysPagesButNotControlEndpointsAndStopsPromptly) {
  Options o;
  o.slow_ms = 300;
  {
    RunningServer s(o);
    auto cli = s.Client();
    auto t0 = Clock::now();
    ASSERT_TRUE(cli->Get("/game/s/dmor/?uid=a"));
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(300));
    t0 = Clock::now();
    ASSERT_TRUE(cli->Get("/__log"));
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(250));
  }
  // A stop during a very long delay does not wait for it.
  o.slow_ms = 600000;
  const auto t0 = Clock::now();
  {
    RunningServer s(o);
    std::thread request([&s] { s.Client()->Get("/"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    s.server().Stop();
    request.join();
  }
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
}

TEST(PortFile, IsWrittenWholeOrNotAtAll) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("portal_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string error;
  ASSERT_TRUE(WritePortFile((dir / "port").string(), 4321, &error)) << error;
  std::ifstream in(dir / "port");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "4321\n");
  EXPECT_FALSE(WritePortFile((dir / "missing" / "port").string(), 1, &error));
  EXPECT_FALSE(error.empty());
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 1u) << "no temporary file may be left behind";
  std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------
// The program itself, as a child process.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    args.insert(args.begin(), PORTAL_BINARY);
    pid_ = ::fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "w", stderr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait(std::chrono::seconds(5));
    }
  }
  // Exit status, or -1 if the child is still running after the time-out.
  int Wait(std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

int WaitForPortFile(const std::filesystem::path& path) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(path);
    int port = 0;
    if (in >> port && port > 0) return port;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

TEST(Program, ServesUntilQuitOrSignalAndFailsCleanly) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("portal_port_" + std::to_string(::getpid()));
  std::filesystem::remove(file);
  {
    Child child({"--port", "0", "--port-file", file.string(), "--heartbeat-answer", "0"});
    const int port = WaitForPortFile(file);
    ASSERT_GT(port, 0);
    httplib::Client cli("127.0.0.1", port);
    auto beat = cli.Get("/?m=game&c=heartbeat&userid=1&g_id=2&f_id=3&type=cs");
    ASSERT_TRUE(beat);
    EXPECT_EQ(beat->body, "0");

    // A second instance on the same port fails with status 1.
    Child clash({"--port", std::to_string(port)});
    EXPECT_EQ(clash.Wait(std::chrono::seconds(5)), 1);

    ASSERT_TRUE(cli.Get("/__quit"));
    EXPECT_EQ(child.Wait(std::chrono::seconds(5)), 0);
  }
  std::filesystem::remove(file);
  {
    Child child({"--port-file", file.string()});
    ASSERT_GT(WaitForPortFile(file), 0);
    ::kill(child.pid(), SIGTERM);
    EXPECT_EQ(child.Wait(std::chrono::seconds(5)), 0);
  }
  std::filesystem::remove(file);
  Child bad({"--port", "http"});
  EXPECT_EQ(bad.Wait(std::chrono::seconds(5)), 2);
}

}  // namespace
}  // namespace portal
