// The pages' script, run by the client's own engine (WebKitGTK, in rv-page-probe on a private
// Xvfb display) in the bridge simulator, which stands in for window.external and records every
// call, link and pop-up.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "html.h"
#include "options.h"
#include "server.h"
#include "tests/portal/test_support.h"

extern char** environ;

namespace portal {
namespace {

using Clock = std::chrono::steady_clock;

// An X server of this test process alone: Xvfb picks a free display and names it on a pipe
// once it accepts connections. Started on first use, ended when the process ends.
class Display {
public:
    static const std::string& Name() {
        static Display display;
        return display.name_;
    }

private:
    Display() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c;
        while (pid_ > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~Display() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

    pid_t pid_ = -1;
    std::string name_;
};

// rv-page-probe with the given arguments on the test's display; its standard output is read
// through a pipe.
class Probe {
public:
    explicit Probe(const std::vector<std::string>& args) {
        const std::string& display = Display::Name();
        if (display.empty()) {
            ADD_FAILURE() << "Xvfb did not start";
            return;
        }
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "GDK_BACKEND=", 12) != 0 &&
                std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0)
                env.emplace_back(*e);
        }
        env.insert(env.end(), {"DISPLAY=" + display, "GDK_BACKEND=x11", "NO_AT_BRIDGE=1"});
        // The probe has a budget of its own; timeout only guards against an engine that hangs.
        std::vector<std::string> argv = {"timeout", "90", PAGE_PROBE};
        argv.insert(argv.end(), args.begin(), args.end());
        // Made before the fork: the child of a threaded process may not allocate.
        std::vector<char*> a, e;
        for (auto& s : argv) a.push_back(s.data());
        for (auto& s : env) e.push_back(s.data());
        a.push_back(nullptr);
        e.push_back(nullptr);
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(fds[1], 1);
            ::dup2(null, 2);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execvpe(a[0], a.data(), e.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Probe() { Finish(SIGTERM); }  // timeout passes it on to the probe

    // Sends the signal (none: 0), waits for the probe's end and returns what it printed.
    std::string Finish(int sig = 0) {
        std::string text;
        if (pid_ <= 0) return text;
        if (sig) ::kill(pid_, sig);
        char buf[4096];
        ssize_t n;
        while ((n = ::read(out_, buf, sizeof buf)) > 0) text.append(buf, n);
        ::close(out_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return text;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// Runs the simulator on page with the given clicks until it has recorded at least `calls`
// entries (and half a second more, for calls that should not come) or the budget ran out;
// returns the recorded calls, each a list of strings.
std::vector<std::vector<std::string>> Simulate(int port, const std::string& page, const std::string& clicks,
                                               size_t calls_expected, int budget_ms = 15000) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(port) + "/__sim?page=" + UrlEncode(page) + "&click=" + clicks;
    const std::string record = "document.getElementById('calls-json').textContent";
    const std::string until = "/^sim:(done|error)$/.test(document.title) && JSON.parse(" + record +
                              ").length >= " + std::to_string(calls_expected);
    Probe probe(
        {"--budget-ms=" + std::to_string(budget_ms), "--settle-ms=500", "--until=" + until, "--print=" + record, url});
    const std::string json = probe.Finish();
    std::vector<std::vector<std::string>> calls;
    if (json.empty()) {
        ADD_FAILURE() << "no call record in the simulator page for " << page;
        return calls;
    }
    for (const Json& entry : ParseJson(json).items) {
        calls.emplace_back();
        for (const Json& part : entry.items) calls.back().push_back(part.text);
    }
    return calls;
}

using Call = std::vector<std::string>;

TEST(PageScript, LauncherCallsTheBridgeAsTheClientExpects) {
    RunningServer s;
    const std::string base = "http://127.0.0.1:" + std::to_string(s.port());

    const std::vector<Call> expected = {
        {"WD_JAPI", "getApiVersion"},
        {"click", "server-S2"},
        {"WD_JAPI", "OpenGame", base + "/game/play/?server=S2&uid=alice|x|S2 霜翼"},
        {"click", "showim"},
        {"WD_JAPI", "ShowIM", "kf_dmor|alice|dmor|1001|vip3|S1|zh-CN|"},
        {"click", "openpay"},
        {"WD_JAPI", "openPay", base + "/pay/?g=dmor&uid=alice"},
        {"click", "showbind"},
        {"WD_JAPI", "ShowBindBtn"},
        {"click", "client-link"},
        {"link", "/game/play/?server=S9&client = 1", ""},
        {"click", "client-newwin"},
        {"link", "/game/play/?server=S8&client=1", "_blank"},
        {"click", "news-link"},
        {"link", base + "/news/1", "_blank"},
        {"click", "file-link"},
        {"link", "file:///etc/hostname", "_blank"},
        {"click", "news-popup"},
        {"window.open", base + "/news/2"},
    };
    EXPECT_EQ(Simulate(s.port(), "/game/s/dmor/?uid=alice&suid=1",
                       "server-S2,showim,openpay,showbind,client-link,client-newwin,"
                       "news-link,file-link,news-popup",
                       expected.size()),
              expected);

    // A guest's page asks for the binding button and the payment address on load.
    const std::vector<Call> on_load = {
        {"WD_JAPI", "getApiVersion"},
        {"WD_JAPI", "ShowBindBtn"},
        {"WD_JAPI", "openPay", base + "/pay/?g=dmor&uid=guest9"},
    };
    EXPECT_EQ(Simulate(s.port(), "/game/s/dmor/?uid=guest9&suid=", "", on_load.size()), on_load);
}

TEST(PageScript, SidePagesCallTheBridge) {
    RunningServer s;
    EXPECT_EQ(Simulate(s.port(), "/pay/?g=dmor&uid=a", "done", 2),
              (std::vector<Call>{{"click", "done"}, {"WD_JAPI", "closedBox"}}));
    EXPECT_EQ(Simulate(s.port(), "/game/s/jihuo/?game=wkln", "bind,register,close", 6),
              (std::vector<Call>{{"click", "bind"},
                                 {"WD_JAPI", "AccountBindSuccess", "ok"},
                                 {"click", "register"},
                                 {"WD_JAPI", "AccountRegisterSuccess", "ok"},
                                 {"click", "close"},
                                 {"WD_JAPI", "CloseBindPage", ""}}));
    // The chat page reports its agent as it loads; the clicks run after that.
    EXPECT_EQ(Simulate(s.port(), "/cs/chat/?sid=0123456789abcdef", "close", 3),
              (std::vector<Call>{{"WD_JAPI", "DialogBoxTopInfo", "Lily|在线|"}, {"click", "close"}, {"window.close"}}));
}

TEST(PageScript, ChatPageClosesItsWindowWhenTheAgentEndsTheChat) {
    RunningServer s;
    const std::string sid = "0123456789abcdef0123456789abcdef";
    ASSERT_EQ(s.Client()->Post("/cs/api/register", httplib::Params{{"sid", sid}, {"account", "80008000"}})->status,
              200);
    // The agent ends the chat once the page's live poll is out, so the page sees it happen.
    std::thread agent([&s, &sid] {
        auto cli = s.Client();
        for (auto end = Clock::now() + std::chrono::seconds(30); Clock::now() < end;) {
            for (const Json& e : ParseJson(cli->Get("/__log")->body).items) {
                if (e["path"].text == "/cs/page/poll" && e["query"].text.find("wait=15000") != std::string::npos) {
                    cli->Post("/cs/agent/end", httplib::Params{{"sid", sid}});
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const auto calls = Simulate(s.port(), "/cs/chat/?sid=" + sid, "", 2);
    agent.join();
    EXPECT_EQ(calls, (std::vector<Call>{{"WD_JAPI", "DialogBoxTopInfo", "Lily|在线|"}, {"API_close"}}));
}

// The chat service stops while the page is open, takes an agent message the page cannot
// fetch, then restarts: the page shows every message once, in order, and says so in its read
// receipts; the line the player sent while the service was down reaches the agent once.
TEST(PageScript, ChatPageFollowsTheServerThroughARestart) {
    RunningServer s;
    const std::string sid = "0123456789abcdef0123456789abcdef";
    const httplib::Params reg{{"sid", sid}, {"account", "80008000"}};
    ASSERT_EQ(s.Client()->Post("/cs/api/register", reg)->status, 200);
    std::thread agent([&] {
        auto cli = s.Client();
        auto logged = [&](const std::string& path, const std::string& query) {
            size_t n = 0;
            for (const Json& e : ParseJson(cli->Get("/__log")->body).items)
                n += e["path"].text == path && e["query"].text.find(query) != std::string::npos;
            return n;
        };
        auto wait_for = [&](const std::string& path, const std::string& query, size_t n) {
            for (auto end = Clock::now() + std::chrono::seconds(20); logged(path, query) < n && Clock::now() < end;)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        };
        wait_for("/cs/page/poll", "wait=15000", 1);
        cli->Post("/cs/agent/send", httplib::Params{{"sid", sid}, {"text", "重启前"}});
        wait_for("/cs/page/poll", "wait=15000", 2);  // the page has it and waits again
        cli->Post("/__cs/service", httplib::Params{{"mode", "down"}});
        cli->Post("/cs/agent/send", httplib::Params{{"sid", sid}, {"text", "停机时"}});
        wait_for("/cs/page/send", "", 1);  // the player's line, refused
        cli->Post("/__cs/service", httplib::Params{{"mode", "reset"}});
        cli->Post("/cs/api/register", reg);
        cli->Post("/cs/agent/send", httplib::Params{{"sid", sid}, {"text", "重启后"}});
    });
    const std::string url =
        "http://127.0.0.1:" + std::to_string(s.port()) + "/__sim?page=" + UrlEncode("/cs/chat/?sid=" + sid) + "&click=";
    const std::string page = "document.querySelector('iframe').contentWindow";
    const std::string log = page + ".document.getElementById('log').textContent";
    // Once the page says the service is busy, the player sends a line.
    const std::string until =
        "(function () { var w = " + page +
        "; if (!window.sent && w.document.getElementById('notice').textContent.indexOf('繁忙') >= 0)"
        " { window.sent = 1; w.chat.send('玩家的话'); }"
        " return " +
        log + ".indexOf('重启后') >= 0 && " + log + ".indexOf('玩家的话') >= 0; })()";
    Probe probe({"--budget-ms=30000", "--settle-ms=1500", "--until=" + until, "--print=" + log, url});
    const std::string text = probe.Finish();
    agent.join();
    size_t at = 0;
    for (const char* shown : {"重启前", "停机时", "重启后"}) {
        const size_t found = text.find(shown);
        EXPECT_TRUE(found != std::string::npos && found >= at) << shown << " missing or out of order: " << text;
        EXPECT_EQ(text.find(shown, found + 1), std::string::npos) << shown << " twice: " << text;
        at = found == std::string::npos ? at : found;
    }
    const Json session = ParseJson(s.Client()->Get("/cs/agent/state")->body)["sessions"].items.at(0);
    std::vector<std::string> receipts, lines;
    for (const Json& r : session["read"].items)
        receipts.push_back(std::to_string(static_cast<int>(r.items.at(0).number)) + ":" +
                           session["messages"].items.at(static_cast<size_t>(r.items.at(1).number) - 1)["text"].text);
    for (const Json& m : session["messages"].items)
        if (m["from"].text == "player") lines.push_back(m["text"].text);
    EXPECT_EQ(receipts, (std::vector<std::string>{"1:重启前", "2:停机时", "3:重启后"}));
    EXPECT_EQ(lines, std::vector<std::string>{"玩家的话"});
}

TEST(PageScript, BenchmarkReportsItsResult) {
    RunningServer s;
    auto calls = Simulate(s.port(), "/bench/bridge?n=50", "", 1 + 20 + 50 + 50);
    size_t get = 0, noop = 0;
    for (const Call& c : calls) {
        get += c.size() == 2 && c[1] == "getApiVersion";
        noop += c.size() == 2 && c[1] == "NoSuchMethod";
    }
    EXPECT_EQ(get, 1u + 20u + 50u);  // probe, warm-up, measured calls
    EXPECT_EQ(noop, 50u);
    // The page posts its result after its last call.
    auto bench = s.server().bench_json();
    for (auto end = Clock::now() + std::chrono::seconds(5); !bench && Clock::now() < end;
         bench = s.server().bench_json())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(bench);
    Json result = ParseJson(*bench);
    EXPECT_EQ(result["get_us"].kind, Json::kNumber) << *bench;
    EXPECT_EQ(result["total_ms"].kind, Json::kNumber) << *bench;
}

TEST(PageScript, GamePageReportsItsLoadAndItsFrames) {
    Options options;
    options.perf = true;
    RunningServer s(options);
    const std::string url = "http://127.0.0.1:" + std::to_string(s.port()) + "/game/play/?server=S2";
    // The page draws as it would on a screen until we have seen enough of it.
    Probe probe({"--size=800x600", "--budget-ms=60000", url});
    std::vector<std::string> loads, frames;
    const auto deadline = Clock::now() + std::chrono::seconds(40);
    while (Clock::now() < deadline && (loads.empty() || frames.size() < 3)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        loads.clear();
        frames.clear();
        for (const Json& e : ParseJson(s.Client()->Get("/__log")->body).items) {
            if (e["path"].text == "/__perf/load") loads.push_back(e["query"].text);
            if (e["path"].text == "/__perf/frames") frames.push_back(e["query"].text);
        }
    }
    probe.Finish(SIGTERM);

    ASSERT_EQ(loads.size(), 1u) << "one load event of the top page, none of its frame";
    EXPECT_TRUE(std::regex_match(loads[0], std::regex(R"(page=game&at=1[0-9]{12}\.[0-9]{3}&w=800&h=[1-9][0-9]{2})")))
        << loads[0];
    ASSERT_GE(frames.size(), 3u);
    std::smatch a, b;
    static const std::regex kFrames(R"(page=game&n=([0-9]+)&t=([0-9]+\.[0-9]{3}))");
    ASSERT_TRUE(std::regex_match(frames.front(), a, kFrames)) << frames.front();
    ASSERT_TRUE(std::regex_match(frames.back(), b, kFrames)) << frames.back();
    EXPECT_GT(std::stol(b[1]), std::stol(a[1])) << "the count only grows";
    EXPECT_GE(std::stod(b[2]) - std::stod(a[2]), 2000.0) << "a report about once a second";
}

}  // namespace
}  // namespace portal
