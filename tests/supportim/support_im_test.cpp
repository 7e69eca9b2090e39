// The chat library as the game window uses it: the real libSupportIM.so loaded at run time
// and looked up by name, against the portal's customer-service server on a thread of the test
// (stopped and started again on the same port for the reconnect), a dead port and a server
// that accepts connections but never answers.
#include <dlfcn.h>  // dlerror

#include <chrono>
#include <clocale>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/net/loopback.h"
#include "tests/portal/test_support.h"
#include "tests/supportim/loaded_library.h"

namespace {

using portal::Json;
using portal::ParseJson;
using supportim_test::Lib;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the caller is promised: no call waits for the network. A bound well above the 0.2 s
// target keeps a loaded machine from failing the test; bench/ measures the real figure.
constexpr auto kCallBound = milliseconds(1000);

// What the callbacks saw. The callback is a plain C function, so this is process-wide.
struct Inbox {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> texts;
    std::vector<std::thread::id> threads;
    std::vector<std::string> linksInside;  // what setlnk answered inside the callback
    std::vector<int> accInside;

    void Clear() {
        std::lock_guard<std::mutex> l(m);
        texts.clear();
        threads.clear();
        linksInside.clear();
        accInside.clear();
    }
    bool WaitFor(size_t n, milliseconds timeout = milliseconds(10000)) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, timeout, [&] { return texts.size() >= n; });
    }
};
Inbox& TheInbox() {
    static Inbox* inbox = new Inbox;
    return *inbox;
}

int Record(const char* text) {
    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    in.texts.emplace_back(text);
    in.threads.push_back(std::this_thread::get_id());
    in.cv.notify_all();
    return 1;
}

// Calls the library back from inside the callback: this would deadlock if the library held
// its lock while calling.
int RecordAndCallBack(const char* text) {
    const std::string copy = text;
    const std::string link = Lib().SetLnk();
    const int acc = Lib().SetAcc();
    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    in.linksInside.push_back(link);
    in.accInside.push_back(acc);
    in.texts.push_back(copy);
    in.threads.push_back(std::this_thread::get_id());
    in.cv.notify_all();
    return 1;
}

bool Eventually(const std::function<bool()>& pred, milliseconds timeout = milliseconds(10000)) {
    for (const auto end = Clock::now() + timeout; Clock::now() < end;) {
        if (pred()) return true;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return pred();
}

// The portal on a port of its own; it can be stopped and started again on the same port.
class Portal {
public:
    Portal() { Start(0); }
    void Stop() { server_.reset(); }
    void Start(int port) {
        portal::Options o;
        o.port = port;
        server_ = std::make_unique<portal::RunningServer>(o);
        port_ = server_->port();
    }
    void Restart() { Start(port_); }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    Json State() { return ParseJson(server_->Client()->Get("/cs/agent/state")->body); }
    // The agent writes to the user's session; the seq of the message.
    int AgentSend(const std::string& text, const std::string& user = "alice") {
        auto res = server_->Client()->Post("/cs/agent/send", httplib::Params{{"user", user}, {"text", text}});
        return res && res->status == 200 ? static_cast<int>(ParseJson(res->body)["seq"].number) : -1;
    }
    void Mode(const std::string& mode) {
        server_->Client()->Post("/__cs/service", httplib::Params{{"mode", mode}});
    }

private:
    std::unique_ptr<portal::RunningServer> server_;
    int port_ = 0;
};

class SupportIm : public ::testing::Test {
protected:
    void SetUp() override {
        // The arguments are in the locale's character set, as the client's are.
        std::setlocale(LC_CTYPE, "C.UTF-8");
        ASSERT_TRUE(Lib().Loaded()) << dlerror();
        TheInbox().Clear();
    }
    void TearDown() override {
        Lib().ongetlok(nullptr);
        Lib().init("", "", "", "", "", "", "", "", "", "");  // no session left for the next test
    }
    // The chat is up for `user` once setacc says a link may be made.
    static bool Connected(const char* user = "alice") {
        return Eventually([&] { return Lib().SetAcc(user) != 0; });
    }
};

// Times one call; fails when it took longer than the bound.
template <class F>
auto Timed(const char* what, F f) {
    const auto t0 = Clock::now();
    auto r = f();
    EXPECT_LT(Clock::now() - t0, kCallBound) << what << " blocked its caller";
    return r;
}

TEST_F(SupportIm, ExportsAnswerAsTheCallerExpects) {
    // Unusable arguments: no chat, no link.
    for (const char* host : {"", "bad host", "host/x", "h:0", "h:65536", "h:", ".h"}) {
        EXPECT_EQ(Lib().Init(host) & 0xFF, 0) << host;
    }
    EXPECT_EQ(Lib().init("127.0.0.1:1", "", "VIPkefu", "alice", "", "", "", "", "", "cs") & 0xFF, 0);
    EXPECT_EQ(Lib().SetAcc(), 0);
    EXPECT_EQ(Lib().SetLnk(), "");
    EXPECT_EQ(Lib().ongetlok(Record), 1);

    Portal portal;
    ASSERT_NE(Lib().Init(portal.Host(), "玩家甲") & 0xFF, 0);
    ASSERT_TRUE(Connected("玩家甲"));
    // Another account may not link.
    EXPECT_EQ(Lib().setacc("80008001", "VIPkefu", SUPPORTIM_ASK_PREFIX_CP936, "玩家甲"), 0);

    const std::string link = Lib().SetLnk("玩家甲");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(link, m, std::regex("http://" + portal.Host() + R"(/cs/chat/\?sid=([0-9a-f]{32}))")))
        << link;
    const std::string sid = m[1];
    // The server learned who asked and the link, decoded from their character sets.
    ASSERT_TRUE(Eventually([&] {
        const Json s = portal.State()["sessions"].items.at(0);
        return s["linked"].number == 1 && s["state"].text == "waiting";
    }));
    const Json session = portal.State()["sessions"].items.at(0);
    EXPECT_EQ(session["sid"].text, sid);
    EXPECT_EQ(session["user"].text, "玩家甲");
    EXPECT_EQ(session["topic"].text, "咨询-玩家甲");
    EXPECT_EQ(session["group"].text, "kf_dmor");
    EXPECT_EQ(session["account"].text, "80008000");
    EXPECT_EQ(session["f5"].text, "vip3");
    EXPECT_EQ(session["fid"].text, "1001");
    EXPECT_EQ(session["type"].text, "cs");
    // The link is the player's chat page.
    httplib::Client page("127.0.0.1", std::stoi(portal.Host().substr(10)));
    auto res = page.Get(link.substr(7 + portal.Host().size()));
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("DialogBoxTopInfo"), std::string::npos);

    // The same start again keeps the session; another player starts a new one.
    EXPECT_NE(Lib().Init(portal.Host(), "玩家甲") & 0xFF, 0);
    EXPECT_EQ(Lib().SetLnk("玩家甲"), link);
    EXPECT_NE(Lib().Init(portal.Host(), "bob") & 0xFF, 0);
    EXPECT_NE(Lib().SetLnk("bob"), link);
    // The text stays the caller's until the same thread asks again.
    const char* held = Lib().setlnk("80008000", "VIPkefu", "kf_dmor", SUPPORTIM_ASK_PREFIX_CP936, "bob");
    std::string other;
    std::thread([&] { other = Lib().SetLnk("bob"); }).join();
    EXPECT_EQ(std::string(held), other);
}

TEST_F(SupportIm, CallbackThreadDeliversAgentMessagesWithoutHoldingALock) {
    Portal portal;
    ASSERT_NE(Lib().Init(portal.Host()) & 0xFF, 0);
    ASSERT_TRUE(Connected());
    const std::string link = Lib().SetLnk();
    // Messages that come before a callback is registered wait for it.
    const int first = portal.AgentSend("您好，我是客服 Lily");
    ASSERT_GT(first, 0);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(Lib().ongetlok(RecordAndCallBack), 1);
    const int second = portal.AgentSend("请问有什么可以帮您？");
    const int third = portal.AgentSend("充值已补发");
    ASSERT_TRUE(TheInbox().WaitFor(3)) << "got " << TheInbox().texts.size();

    Inbox& in = TheInbox();
    std::lock_guard<std::mutex> l(in.m);
    EXPECT_EQ(in.texts, (std::vector<std::string>{link + "#msg-" + std::to_string(first),
                                                  link + "#msg-" + std::to_string(second),
                                                  link + "#msg-" + std::to_string(third)}));
    for (size_t i = 0; i < in.texts.size(); ++i) {
        EXPECT_NE(in.threads[i], std::this_thread::get_id()) << "the callback runs on the library's thread";
        EXPECT_EQ(in.threads[i], in.threads[0]);
        EXPECT_EQ(in.linksInside[i], link);
        EXPECT_EQ(in.accInside[i], 1);
    }
}

TEST_F(SupportIm, ReconnectsAfterThePortalRestarts) {
    Portal portal;
    ASSERT_NE(Lib().Init(portal.Host()) & 0xFF, 0);
    Lib().ongetlok(Record);
    ASSERT_TRUE(Connected());
    const std::string link = Lib().SetLnk();

    portal.Stop();
    EXPECT_TRUE(Eventually([] { return Lib().SetAcc() == 0; })) << "a dead server cannot link";
    EXPECT_EQ(Lib().SetLnk(), link) << "the chat page's address stays";
    portal.Restart();
    ASSERT_TRUE(Connected()) << "no reconnect after the restart";
    // The restarted server knows the session again under the same address, and its messages
    // are counted from its own start.
    const int seq = portal.AgentSend("服务器已恢复");
    ASSERT_GT(seq, 0);
    ASSERT_TRUE(TheInbox().WaitFor(1));
    {
        std::lock_guard<std::mutex> l(TheInbox().m);
        EXPECT_EQ(TheInbox().texts.back(), link + "#msg-" + std::to_string(seq));
    }

    // The service going down and up, or forgetting its sessions, is survived the same way.
    portal.Mode("down");
    EXPECT_TRUE(Eventually([] { return Lib().SetAcc() == 0; }));
    portal.Mode("up");
    EXPECT_TRUE(Connected());
    portal.Mode("reset");
    ASSERT_TRUE(Eventually([&] { return portal.State()["sessions"].items.size() == 1; }));
    const int after = portal.AgentSend("会话已重建");
    ASSERT_TRUE(TheInbox().WaitFor(2));
    std::lock_guard<std::mutex> l(TheInbox().m);
    EXPECT_EQ(TheInbox().texts.back(), link + "#msg-" + std::to_string(after));
}

TEST_F(SupportIm, NeverBlocksItsCallerWhenTheServerIsDeadOrStalled) {
    Lib().ongetlok(Record);
    // Dead: nothing listens on the port.
    int dead = 0;
    {
        Portal gone;
        dead = std::stoi(gone.Host().substr(10));
    }
    const std::string deadHost = "127.0.0.1:" + std::to_string(dead);
    EXPECT_NE(Timed("init", [&] { return Lib().Init(deadHost); }) & 0xFF, 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Timed("setacc", [] { return Lib().SetAcc(); }), 0);
        EXPECT_FALSE(Timed("setlnk", [] { return Lib().SetLnk(); }).empty());
        std::this_thread::sleep_for(milliseconds(100));
    }

    // Stalled: a socket that takes connections into its backlog and never answers.
    auto listener = std::make_unique<net_test::LoopbackListener>(16);
    ASSERT_TRUE(listener->ok());
    const std::string silent = "127.0.0.1:" + std::to_string(listener->port());
    EXPECT_NE(Timed("init", [&] { return Lib().Init(silent); }) & 0xFF, 0);
    std::this_thread::sleep_for(milliseconds(200));  // the library's request is out and hangs
    EXPECT_EQ(Timed("setacc", [] { return Lib().SetAcc(); }), 0);
    EXPECT_FALSE(Timed("setlnk", [] { return Lib().SetLnk(); }).empty());
    EXPECT_EQ(Timed("ongetlok", [] { return Lib().ongetlok(Record); }), 1);
    EXPECT_NE(Timed("init again", [&] { return Lib().Init(silent); }) & 0xFF, 0);

    // A server that stalls after the chat is up: the cached state answers at once, and what
    // was asked meanwhile reaches the server when it answers again.
    Portal portal;
    EXPECT_NE(Timed("init elsewhere", [&] { return Lib().Init(portal.Host()); }) & 0xFF, 0);
    listener.reset();
    ASSERT_TRUE(Connected());
    portal.Mode("stall");
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(Timed("setacc", [] { return Lib().SetAcc(); }), 1);
    EXPECT_FALSE(Timed("setlnk", [] { return Lib().SetLnk(); }).empty());
    EXPECT_EQ(Timed("setacc", [] { return Lib().SetAcc(); }), 1);
    portal.Mode("up");
    EXPECT_TRUE(Eventually([&] {
        const Json s = portal.State()["sessions"].items.at(0);
        return s["linked"].number == 1 && !s["topic"].text.empty();
    }));
}

}  // namespace
