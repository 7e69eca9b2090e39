// The portal's pages as the client gets them: the launcher page (its user name, servers,
// links, guests, hostile mode), the game page (its session cookie, music), every page's route
// with a 404 for the rest, and values escaped for scripts. (The pages' script running in the
// client's engine: page_script_test.cpp.)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "options.h"
#include "pages.h"
#include "request_log.h"
#include "tests/portal/test_support.h"

namespace portal {
namespace {

// Text of the first <span> whose id is exactly "usr", the way the client
// walks the document: every span in order, ids compared case-sensitively.
std::optional<std::string> FirstUsrSpan(const std::string& html) {
    static const std::regex kSpan(R"(<span\b([^>]*)>([^<]*)</span>)");
    static const std::regex kId(R"re(\bid="([^"]*)")re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), kSpan); it != std::sregex_iterator(); ++it) {
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
    EXPECT_EQ(JsonString("</script>&\xE2\x80\xA8", true), R"("\u003c/script\u003e\u0026\u2028")");
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
        EXPECT_NE(html.find("data-server=\"" + std::string(srv.id) + "\" data-name=\"" + srv.name + "\""),
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
    EXPECT_NE(TagWithTestId(html, "news-link").find("href=\"http://" + host + "/news/1\""), std::string::npos);
    EXPECT_NE(TagWithTestId(html, "file-link").find("href=\"file:///etc/hostname\""), std::string::npos);
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
    EXPECT_NE(hostile->body.find(R"(uid: "\u003c/script\u003e\u003cb\u003e\"|")"), std::string::npos);
    // The bar would shift the ShowIM fields, so it is encoded there.
    EXPECT_EQ(ServiceList("a|b"), "kf_dmor|a%7Cb|dmor|1001|vip3|S1|zh-CN|");
}

TEST(GamePage, SetsTheSessionCookieOnceAndSeesItCarried) {
    RunningServer s;
    auto cli = s.Client();
    auto first = cli->Get("/game/play/?server=S2&uid=alice");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    const std::string set_cookie = first->get_header_value("Set-Cookie");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(set_cookie, m, std::regex("^lumo_session=([0-9a-f]{32});"))) << set_cookie;
    const std::string session = m[1];
    EXPECT_NE(set_cookie.find("Max-Age=31536000"), std::string::npos);
    EXPECT_NE(set_cookie.find("Path=/"), std::string::npos);
    EXPECT_NE(first->body.find("data-state=\"new\""), std::string::npos);
    EXPECT_NE(first->body.find("S2 霜翼"), std::string::npos);
    EXPECT_NE(first->body.find("href=\"client://loadgame?url=http://127.0.0.1:" + std::to_string(s.port()) +
                               "/game/play/?server=S2&amp;reloaded=1\""),
              std::string::npos);

    auto second =
        cli->Get("/game/play/?server=S2&uid=alice&reloaded=1", {{"Cookie", "other=1; lumo_session=" + session}});
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
        // Every placeholder filled, every include of the page files done at build time.
        EXPECT_EQ(res->body.find("{{"), std::string::npos) << path;
    }
    EXPECT_NE(cli->Get("/cs/chat/?sid=42")->body.find("window.external.API_close()"), std::string::npos);
    EXPECT_NE(cli->Get("/game/s/jihuo/?game=wkln")->body.find("WD_JAPI('CloseBindPage', '')"), std::string::npos);

    for (const std::string path : {"/nope", "/news/0", "/news/abc", "/game/s/other/", "/%3Cb%3E"}) {
        auto res = cli->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_NE(res->body.find("data-test=\"not-found\""), std::string::npos) << path;
        EXPECT_EQ(res->body.find("<b>"), std::string::npos) << "path must be escaped";
    }
    EXPECT_EQ(cli->Get("/bench/bridge?n=0")->status, 400);
}

}  // namespace
}  // namespace portal
