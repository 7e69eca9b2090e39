// Refresh, failed loads and engine processes that die: a refresh raises no navigation event of
// its own and always asks the server, also after the network or the web process ended (the
// latter raised once); a page that cannot be loaded is reported; a quit control hears nothing
// of its engine. The scenarios that need the local portal are skipped without it; these run
// late (refresh_test.cpp comes late on the link line), since they end the engine's processes.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bridge_e2e.h"

namespace bridge_e2e {
namespace {

// GET of a path on the portal, answered while the main loop keeps running (the portal is
// local: a blocking socket with a short time-out). The body, or "" when it did not answer.
std::string PortalGet(const std::string& portal, const std::string& path) {
    const std::size_t colon = portal.rfind(':');
    const int port = colon == std::string::npos ? 0 : std::atoi(portal.c_str() + colon + 1);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string body;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string rq = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        send(fd, rq.data(), rq.size(), MSG_NOSIGNAL);
        char buf[4096];
        for (ssize_t k; (k = recv(fd, buf, sizeof buf, 0)) > 0;) body.append(buf, static_cast<std::size_t>(k));
        std::size_t head = body.find("\r\n\r\n");
        body = head == std::string::npos ? "" : body.substr(head + 4);
    }
    close(fd);
    return body;
}

// How many requests for `path` the portal has served so far.
int PortalServed(const std::string& portal, const std::string& path) {
    const std::string log = PortalGet(portal, "/__log");
    const std::string needle = "\"path\":\"" + path + "\"";
    int n = 0;
    for (std::size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++n;
    return n;
}

// Kills this program's engine processes of one kind (web or network), as a crash would end them.
int KillEngineProcesses(const char* comm15) {
    int killed = 0;
    DIR* d = opendir("/proc");
    while (dirent* e = d ? readdir(d) : nullptr) {
        const std::string path = std::string("/proc/") + e->d_name + "/stat";
        FILE* f = std::isdigit(static_cast<unsigned char>(e->d_name[0])) ? std::fopen(path.c_str(), "r") : nullptr;
        if (!f) continue;
        char line[512] = {};
        std::fgets(line, sizeof line, f);
        std::fclose(f);
        const char* open = std::strchr(line, '(');
        const char* close = std::strrchr(line, ')');
        if (!open || !close) continue;
        const std::string comm(open + 1, close);
        int ppid = 0;
        char state = 0;
        if (std::sscanf(close + 1, " %c %d", &state, &ppid) != 2) continue;
        if (ppid == getpid() && comm == comm15 && state != 'Z') {
            kill(std::atoi(e->d_name), SIGKILL);
            ++killed;
        }
    }
    if (d) closedir(d);
    return killed;
}

int KillWebProcesses() { return KillEngineProcesses("WebKitWebProces"); }

using Refresh = Scenario;

// A refresh while the page is still loading (a frame that never answers): the load it
// supersedes ends after the refresh was asked for, and still no navigation event comes.
TEST_F(Refresh, WhileLoading) {
    int quiet = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);  // takes connections, never answers
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(quiet, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(quiet, 16) != 0 ||
        getsockname(quiet, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(quiet);
        FAIL() << "refresh-while-loading: no listening socket";
    }
    const std::string frame = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/never";
    Hosted f(true);
    f.browser->Navigate("data:text/html,<p>client = 1</p><iframe src='" + frame + "'></iframe>");
    EXPECT_TRUE(WaitFor([&] { return f.ev.navigated.size() == 1; }, 5000)) << "refresh-while-loading-committed";
    Settle(300);
    EXPECT_TRUE(f.ev.completed.empty()) << "refresh-while-loading-still-loading";
    const std::size_t before = f.ev.before.size();
    f.browser->Refresh();
    Settle(1500);
    EXPECT_EQ(f.ev.before.size(), before) << "refresh-while-loading-no-before-navigate";
    f.browser->Stop();
    close(quiet);
}

TEST_F(Refresh, AndEngineEnd) {
    const std::string& portal = g_options.portal;
    if (portal.empty()) GTEST_SKIP() << "no portal (--portal)";
    Hosted f(true);
    // The client link's page: the game page, with a frame of its own.
    const std::string link = portal + "/game/play/?server=S9&client = 1";
    EXPECT_TRUE(f.Load(link)) << "refresh-page-loaded";
    Settle(300);
    std::size_t before = f.ev.before.size(), done = f.ev.completed.size();
    int served = PortalServed(portal, "/game/play/");
    f.browser->Refresh();
    EXPECT_TRUE(WaitFor([&] { return f.ev.completed.size() > done; }, 10000)) << "refresh-completes";
    Settle(500);  // the frame of the page loads again meanwhile
    EXPECT_EQ(f.ev.before.size(), before)
        << "refresh-no-before-navigate: the last " << (f.ev.before.empty() ? "none" : f.ev.before.back());
    EXPECT_TRUE(f.ev.newWindows.empty()) << "refresh-no-new-window";
    EXPECT_EQ(PortalServed(portal, "/game/play/"), served + 1) << "refresh-asks-the-server";

    // The network process dies: the page stays, and a refresh still asks the server.
    EXPECT_GE(KillEngineProcesses("WebKitNetworkPr"), 1) << "network-process-killed";
    Settle(300);
    done = f.ev.completed.size();
    served = PortalServed(portal, "/game/play/");
    f.browser->Refresh();
    EXPECT_TRUE(WaitFor([&] { return f.ev.completed.size() > done; }, 10000))
        << "refresh-after-the-network-ended-completes";
    EXPECT_EQ(PortalServed(portal, "/game/play/"), served + 1) << "refresh-after-the-network-ended-asks-the-server";
    EXPECT_TRUE(f.ev.ended.empty()) << "network-end-is-no-page-end";

    // The engine process dies: one notice; the address is kept; a refresh brings the page
    // back from the server (the engine would take it from its cache), with its bridge.
    int killed = KillWebProcesses();
    EXPECT_GE(killed, 1) << "web-process-killed";
    EXPECT_TRUE(WaitFor([&] { return !f.ev.ended.empty(); }, 5000) && f.ev.ended.size() == 1 &&
                f.ev.ended[0] == fw::EngineExit::Crashed)
        << "engine-ended-raised-once: " << f.ev.ended.size();
    EXPECT_NE(f.browser->LocationUrl().find("/game/play/?server=S9&client"), std::string::npos)
        << "location-kept-after-the-engine-ended: " << f.browser->LocationUrl();
    before = f.ev.before.size();
    done = f.ev.completed.size();
    served = PortalServed(portal, "/game/play/");
    f.browser->Refresh();
    EXPECT_TRUE(WaitFor([&] { return f.ev.completed.size() > done; }, 10000))
        << "refresh-after-the-engine-ended-completes";
    Settle(300);
    EXPECT_EQ(f.ev.before.size(), before) << "refresh-after-the-engine-ended-no-before-navigate";
    EXPECT_EQ(PortalServed(portal, "/game/play/"), served + 1) << "refresh-after-the-engine-ended-asks-the-server";
    f.Load("data:text/html,<script>document.title='ext:'+window.external.WD_JAPI('getApiVersion')</script>");
    f.WaitTitle("ext:", 5000);
    EXPECT_EQ(f.ev.Title(), "ext:1") << "bridge-after-the-engine-ended";

    // A page that cannot be loaded: announced, then reported; no DocumentComplete.
    done = f.ev.completed.size();
    f.browser->Navigate("http://127.0.0.1:65533/nothing-listens");
    EXPECT_TRUE(WaitFor([&] { return !f.ev.errors.empty(); }, 5000) &&
                f.ev.errors.back().find("65533") != std::string::npos)
        << "navigate-error: " << (f.ev.errors.empty() ? "none" : f.ev.errors.back());
    Settle(300);
    EXPECT_EQ(f.ev.completed.size(), done) << "navigate-error-no-complete";
    // A quit control hears nothing of its engine.
    f.browser->Quit();
    KillWebProcesses();
    Settle(1000);
    EXPECT_EQ(f.ev.ended.size(), 1u) << "no-engine-notice-after-quit";
}

}  // namespace
}  // namespace bridge_e2e
