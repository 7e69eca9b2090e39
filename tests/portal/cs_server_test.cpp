// Tests of the portal's customer-service server: the chat library's endpoints, the player's
// page and the agent's console endpoints, the service modes, and the heartbeat control.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "cs_server.h"
#include "tests/portal/test_support.h"

namespace portal {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kSid = "0123456789abcdef0123456789abcdef";
// "咨询-" and "玩家甲" in code page 936.
constexpr const char* kPrefixGbk = "\xD7\xC9\xD1\xAF-";
constexpr const char* kUserGbk = "\xCD\xE6\xBC\xD2\xBC\xD7";

httplib::Result Post(httplib::Client& cli, const std::string& path, const httplib::Params& form) {
    return cli.Post(path.c_str(), form);
}

httplib::Params Registration(const std::string& sid, const std::string& user, const std::string& charset) {
    return {{"sid", sid},     {"account", "80008000"}, {"service", "VIPkefu"}, {"user", user},
            {"game", "dmor"}, {"fid", "1001"},         {"f5", "vip3"},         {"f6", "S1"},
            {"f7", "zh-CN"},  {"type", "cs"},          {"charset", charset}};
}

// The agent console's view of the one session.
Json Session(httplib::Client& cli) {
    Json state = ParseJson(cli.Get("/cs/agent/state")->body);
    EXPECT_EQ(state["sessions"].items.size(), 1u);
    return state["sessions"].items.empty() ? Json() : state["sessions"].items[0];
}

TEST(CsText, DecodesTheNamedCharsetAndReplacesWhatIsInvalid) {
    EXPECT_EQ(DecodeToUtf8(kPrefixGbk, "GBK"), "咨询-");
    EXPECT_EQ(DecodeToUtf8(kUserGbk, "cp936"), "玩家甲");
    EXPECT_EQ(DecodeToUtf8("a\xFF"
                           "b",
                           "GBK"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(DecodeToUtf8("\xCD", "GBK"), "\xEF\xBF\xBD") << "a cut sequence at the end";
    EXPECT_EQ(DecodeToUtf8("龙", "UTF-8"), "龙");
    EXPECT_EQ(DecodeToUtf8("龙", "no-such-charset"), "龙");
}

TEST(CsServer, LibraryRegistersAsksLinksAndPolls) {
    RunningServer s;
    auto cli = s.Client();
    // Unknown sessions and bad registrations.
    EXPECT_EQ(Post(*cli, "/cs/api/ask", {{"sid", kSid}})->status, 404);
    EXPECT_EQ(cli->Get(std::string("/cs/api/poll?sid=") + kSid)->status, 404);
    EXPECT_EQ(Post(*cli, "/cs/api/register", Registration("not-hex", "u", "UTF-8"))->status, 400);

    auto reg = Post(*cli, "/cs/api/register", Registration(kSid, kUserGbk, "GBK"));
    ASSERT_EQ(reg->status, 200);
    ASSERT_EQ(reg->body.rfind("ok ", 0), 0u);
    const std::string instance = reg->body.substr(3, reg->body.size() - 4);
    // Registering again keeps the session object.
    EXPECT_EQ(Post(*cli, "/cs/api/register", Registration(kSid, kUserGbk, "GBK"))->body, reg->body);

    ASSERT_EQ(Post(*cli, "/cs/api/ask", {{"sid", kSid}, {"prefix", kPrefixGbk}, {"user", kUserGbk}, {"charset", "GBK"}})
                  ->status,
              200);
    ASSERT_EQ(Post(*cli, "/cs/api/link", {{"sid", kSid}, {"group", "kf_dmor"}, {"charset", "GBK"}})->status, 200);
    Json session = Session(*cli);
    EXPECT_EQ(session["user"].text, "玩家甲");
    EXPECT_EQ(session["topic"].text, "咨询-玩家甲");
    EXPECT_EQ(session["state"].text, "waiting");
    EXPECT_EQ(session["group"].text, "kf_dmor");
    EXPECT_EQ(session["linked"].kind, Json::kBool);
    EXPECT_EQ(session["linked"].number, 1);
    EXPECT_EQ(session["f6"].text, "S1");
    ASSERT_EQ(session["messages"].items.size(), 1u);
    EXPECT_EQ(session["messages"].items[0]["kind"].text, "ask");

    // Nothing for the library yet: the poll is held for the time asked.
    const std::string poll = std::string("/cs/api/poll?sid=") + kSid + "&after=0&wait=";
    auto t0 = Clock::now();
    auto empty = cli->Get(poll + "300");
    EXPECT_GE(Clock::now() - t0, milliseconds(300));
    EXPECT_EQ(empty->body, "ok " + instance + "\n");

    // An agent message ends a held poll at once; the player's own messages do not count.
    std::thread agent([&s] {
        std::this_thread::sleep_for(milliseconds(200));
        auto c = s.Client();
        Post(*c, "/cs/page/send", {{"sid", kSid}, {"text", "在吗"}});
        std::this_thread::sleep_for(milliseconds(100));
        Post(*c, "/cs/agent/send", {{"sid", kSid}, {"text", "您好"}});
    });
    t0 = Clock::now();
    auto woken = cli->Get(poll + "10000");
    agent.join();
    EXPECT_LT(Clock::now() - t0, milliseconds(5000));
    EXPECT_EQ(woken->body, "ok " + instance + "\nm 3\n");
    EXPECT_EQ(cli->Get(std::string("/cs/api/poll?sid=") + kSid + "&after=3&wait=0")->body, "ok " + instance + "\n");
}

TEST(CsServer, PlayerAndAgentConverseUntilTheAgentEndsTheChat) {
    RunningServer s;
    auto cli = s.Client();
    ASSERT_EQ(Post(*cli, "/cs/api/register", Registration(kSid, "alice", "UTF-8"))->status, 200);
    const std::string page_poll = std::string("/cs/page/poll?sid=") + kSid;
    Json page = ParseJson(cli->Get(page_poll)->body);
    EXPECT_EQ(page["known"].number, 1);
    EXPECT_EQ(ParseJson(cli->Get("/cs/page/poll?sid=feedfeedfeedfeed")->body)["known"].number, 0);
    EXPECT_EQ(page["state"].text, "idle");
    EXPECT_EQ(page["agent"]["name"].text, "Lily");
    EXPECT_EQ(page["agent"]["status"].text, "在线");
    const int v = static_cast<int>(page["v"].number);

    // The player writes (blanks trimmed); empty, blank and over-long texts are refused.
    EXPECT_EQ(Post(*cli, "/cs/page/send", {{"sid", kSid}, {"text", "  充值未到账　"}})->status, 200);
    for (const std::string& bad : {std::string(), std::string(" 　 "), std::string(CsServer::kMaxTextBytes + 1, 'x')}) {
        EXPECT_EQ(Post(*cli, "/cs/page/send", {{"sid", kSid}, {"text", bad}})->status, 400);
        EXPECT_EQ(Post(*cli, "/cs/agent/send", {{"user", "alice"}, {"text", bad}})->status, 400);
    }
    EXPECT_EQ(Post(*cli, "/cs/page/send", {{"sid", "feedfeedfeedfeed"}, {"text", "x"}})->status, 404);
    EXPECT_EQ(Post(*cli, "/cs/agent/send", {{"user", "nobody"}, {"text", "x"}})->status, 404);

    // The agent answers by user; the answer names the seq and the session.
    Json sent = ParseJson(Post(*cli, "/cs/agent/send", {{"user", "alice"}, {"text", "<b>请稍候</b>"}})->body);
    EXPECT_EQ(sent["seq"].number, 2);
    EXPECT_EQ(sent["sid"].text, kSid);
    page = ParseJson(cli->Get(page_poll + "&after=0&v=" + std::to_string(v) + "&wait=5000")->body);
    EXPECT_EQ(page["state"].text, "chatting");
    ASSERT_EQ(page["messages"].items.size(), 2u);
    EXPECT_EQ(page["messages"].items[0]["from"].text, "player");
    EXPECT_EQ(page["messages"].items[0]["text"].text, "充值未到账");
    EXPECT_EQ(page["messages"].items[1]["from"].text, "agent");
    EXPECT_EQ(page["messages"].items[1]["name"].text, "Lily");
    // The chat page starts from the same state, with the texts unable to break out of its script.
    const std::string html = cli->Get(std::string("/cs/chat/?sid=") + kSid)->body;
    EXPECT_EQ(html.find("<b>请稍候"), std::string::npos);
    EXPECT_NE(html.find("\\u003cb\\u003e请稍候"), std::string::npos);

    // A page poll that has seen the latest version waits for the next change: a new agent.
    const std::string seen = "&v=" + std::to_string(static_cast<int>(page["v"].number));
    EXPECT_EQ(Post(*cli, "/cs/agent/status", {{"status", "忙碌"}})->status, 400);
    EXPECT_EQ(Post(*cli, "/cs/agent/status", {{"name", "  "}})->status, 400);
    std::thread agent([&s] {
        std::this_thread::sleep_for(milliseconds(200));
        Post(*s.Client(), "/cs/agent/status", {{"name", "小雅"}, {"status", "离线"}});
    });
    page = ParseJson(cli->Get(page_poll + "&after=2" + seen + "&wait=10000")->body);
    agent.join();
    EXPECT_EQ(page["agent"]["name"].text, "小雅");
    EXPECT_EQ(page["agent"]["status"].text, "离线");
    EXPECT_EQ(page["messages"].items.size(), 0u);

    // The end: once, as a system message of kind "end"; asking again reopens the chat.
    ASSERT_EQ(Post(*cli, "/cs/agent/end", {{"sid", kSid}})->status, 200);
    ASSERT_EQ(Post(*cli, "/cs/agent/end", {{"sid", kSid}})->status, 200);
    page = ParseJson(cli->Get(page_poll + "&after=2")->body);
    EXPECT_EQ(page["state"].text, "ended");
    ASSERT_EQ(page["messages"].items.size(), 1u);
    EXPECT_EQ(page["messages"].items[0]["kind"].text, "end");
    EXPECT_EQ(page["messages"].items[0]["from"].text, "system");
    ASSERT_EQ(Post(*cli, "/cs/page/ask", {{"sid", kSid}})->status, 200);
    Json session = Session(*cli);
    EXPECT_EQ(session["state"].text, "waiting");

    // A line or a message sent again with its id (the answer was lost) is recorded once.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ParseJson(Post(*cli, "/cs/page/send", {{"sid", kSid}, {"id", "p1"}, {"text", "还在吗"}})->body)["seq"]
                      .number,
                  5);
        EXPECT_EQ(
            ParseJson(Post(*cli, "/cs/agent/send", {{"sid", kSid}, {"id", "a1"}, {"text", "在"}})->body)["seq"].number,
            6);
    }
    EXPECT_EQ(Post(*cli, "/cs/page/send", {{"sid", kSid}, {"id", std::string(65, 'i')}, {"text", "x"}})->status, 400);
    EXPECT_EQ(Session(*cli)["messages"].items.size(), 6u);
    // Read receipts (ordinal:seq): sent again they change nothing; another message for a known
    // ordinal is counted apart.
    for (const char* read : {"1:2,2:6", "2:6", "2:5"})
        EXPECT_EQ(Post(*cli, "/cs/page/read", {{"sid", kSid}, {"read", read}})->status, 200) << read;
    for (const char* bad : {"1", "0:2", "1:x", ":2"})
        EXPECT_EQ(Post(*cli, "/cs/page/read", {{"sid", kSid}, {"read", bad}})->status, 400) << bad;
    session = Session(*cli);
    ASSERT_EQ(session["read"].items.size(), 2u);
    EXPECT_EQ(session["read"].items[1].items.at(0).number, 2);
    EXPECT_EQ(session["read"].items[1].items.at(1).number, 6);
    EXPECT_EQ(session["read_conflicts"].number, 1);
}

TEST(CsServer, ServiceGoesDownStallsAndRestartsOnRequest) {
    RunningServer s;
    auto cli = s.Client();
    auto first = Post(*cli, "/cs/api/register", Registration(kSid, "alice", "UTF-8"));
    ASSERT_EQ(first->status, 200);
    EXPECT_EQ(Post(*cli, "/__cs/service", {{"mode", "sideways"}})->status, 400);

    ASSERT_EQ(Post(*cli, "/__cs/service", {{"mode", "down"}})->status, 200);
    EXPECT_EQ(Post(*cli, "/cs/api/register", Registration(kSid, "alice", "UTF-8"))->status, 503);
    EXPECT_EQ(cli->Get(std::string("/cs/page/poll?sid=") + kSid)->status, 503);
    // The agent's side keeps working while the service is down.
    EXPECT_EQ(Post(*cli, "/cs/agent/send", {{"sid", kSid}, {"text", "稍等"}})->status, 200);
    EXPECT_EQ(ParseJson(cli->Get("/cs/agent/state")->body)["mode"].text, "down");

    // Stalled: a library request gets no answer until the service is up again.
    ASSERT_EQ(Post(*cli, "/__cs/service", {{"mode", "stall"}})->status, 200);
    std::atomic<bool> answered{false};
    std::thread library([&] {
        auto c = s.Client();
        answered = c->Get(std::string("/cs/api/poll?sid=") + kSid + "&after=0&wait=0")->status == 200;
    });
    std::this_thread::sleep_for(milliseconds(400));
    EXPECT_FALSE(answered);
    ASSERT_EQ(Post(*cli, "/__cs/service", {{"mode", "up"}})->status, 200);
    library.join();
    EXPECT_TRUE(answered);

    // A restart forgets the registrations (a held poll learns of it at once) and keeps the
    // messages with their numbering: the one the library had not fetched is still there.
    std::thread reset([&s] {
        std::this_thread::sleep_for(milliseconds(200));
        Post(*s.Client(), "/__cs/service", {{"mode", "reset"}});
    });
    const auto t0 = Clock::now();
    EXPECT_EQ(cli->Get(std::string("/cs/api/poll?sid=") + kSid + "&after=1&wait=10000")->status, 404);
    EXPECT_LT(Clock::now() - t0, milliseconds(5000));
    reset.join();
    EXPECT_EQ(Session(*cli)["registered"].number, 0);
    EXPECT_EQ(Post(*cli, "/cs/api/ask", {{"sid", kSid}})->status, 404);
    auto again = Post(*cli, "/cs/api/register", Registration(kSid, "alice", "UTF-8"));
    ASSERT_EQ(again->status, 200);
    EXPECT_EQ(again->body, first->body) << "the same session object, so the cursors stay valid";
    EXPECT_EQ(cli->Get(std::string("/cs/api/poll?sid=") + kSid + "&after=0&wait=0")->body, first->body + "m 1\n");
    EXPECT_EQ(ParseJson(Post(*cli, "/cs/agent/send", {{"sid", kSid}, {"text", "又来了"}})->body)["seq"].number, 2);
}

TEST(CsServer, HeldRequestsEndWhenThePortalStops) {
    const auto t0 = Clock::now();
    {
        RunningServer s;
        auto cli = s.Client();
        ASSERT_EQ(Post(*cli, "/cs/api/register", Registration(kSid, "alice", "UTF-8"))->status, 200);
        ASSERT_EQ(Post(*cli, "/__cs/service", {{"mode", "stall"}})->status, 200);
        std::thread stalled([&s] { s.Client()->Get(std::string("/cs/api/poll?sid=") + kSid); });
        std::thread polling([&s] { s.Client()->Get("/cs/agent/state?v=999999&wait=25000"); });
        std::this_thread::sleep_for(milliseconds(200));
        s.server().Stop();
        stalled.join();
        polling.join();
    }
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
}

TEST(Heartbeat, AnswerIsSetAtRunTimeCountedAndLogged) {
    RunningServer s;
    auto cli = s.Client();
    const std::string beat = "/?m=game&c=heartbeat&userid=alice&g_id=dmor&f_id=1001&type=cs";
    EXPECT_EQ(cli->Get(beat)->body, "1");
    EXPECT_EQ(Post(*cli, "/__heartbeat", {})->status, 400);
    ASSERT_EQ(Post(*cli, "/__heartbeat", {{"answer", "0"}})->status, 200);
    EXPECT_EQ(cli->Get(beat)->body, "0");
    ASSERT_EQ(Post(*cli, "/__heartbeat", {{"answer", "10"}})->status, 200);
    EXPECT_EQ(cli->Get(beat)->body, "10");
    Json control = ParseJson(cli->Get("/__heartbeat")->body);
    EXPECT_EQ(control["answer"].text, "10");
    EXPECT_EQ(control["count"].number, 3);

    // The console shows the player's heartbeats with the session.
    ASSERT_EQ(Post(*cli, "/cs/api/register", Registration(kSid, "alice", "UTF-8"))->status, 200);
    EXPECT_EQ(Session(*cli)["heartbeats"].number, 3);
    int logged = 0;
    for (const Json& e : ParseJson(cli->Get("/__log")->body).items) {
        logged += e["path"].text == "/" && e["query"].text == beat.substr(2);
    }
    EXPECT_EQ(logged, 3);
}

}  // namespace
}  // namespace portal
