// The bridge's socket against peers that break its wire: the UI process closes their
// connection and nothing else, and answers a well-formed request for a page that does not
// exist with "no external object".
#include <glob.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "bridge_e2e.h"
#include "fw/gtk/browser_bridge_wire.h"

namespace bridge_e2e {
namespace {

// The bridge socket of this process (in its private folder under the runtime directory).
std::string BridgeSocket() {
    std::string pattern = std::string(g_get_user_runtime_dir()) + "/raduvove-*/bridge";
    glob_t g{};
    std::string path;
    if (glob(pattern.c_str(), 0, nullptr, &g) == 0) {
        for (std::size_t k = 0; k < g.gl_pathc && path.empty(); ++k) path = g.gl_pathv[k];
    }
    globfree(&g);
    return path;
}

int Dial(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// True when the UI process closed the connection (read gives end of file) while serving.
bool ClosedByPeer(int fd) {
    bool closed = false;
    WaitFor(
        [&] {
            char b;
            ssize_t k = recv(fd, &b, 1, MSG_DONTWAIT);
            closed = k == 0;
            return closed || (k < 0 && errno != EAGAIN);
        },
        2000);
    return closed;
}

using Peers = Scenario;

// Frames that break the wire close that connection and nothing else; a well-formed request
// for a page that does not exist gets "no external object".
TEST_F(Peers, BadPeers) {
    Hosted f(true);
    f.Load("data:text/html,x");  // the engine and its bridge are running
    std::string path = BridgeSocket();
    ASSERT_FALSE(path.empty()) << "bridge-socket-found";

    const std::string zero("\0\0\0\0", 4), huge("\xFF\xFF\xFF\x7F", 4), junk("\x05\0\0\0\x09zzzz", 9);
    for (const std::string* bad : {&zero, &huge, &junk}) {
        int fd = Dial(path);
        send(fd, bad->data(), bad->size(), MSG_NOSIGNAL);
        EXPECT_TRUE(ClosedByPeer(fd)) << "bad-frame-closes-connection";
        close(fd);
    }
    int fd = Dial(path);
    send(fd, "\x40\0\0\0\x02", 5, MSG_NOSIGNAL);  // half a frame, then gone
    close(fd);

    fd = Dial(path);
    fw::gtk::bridge::Request rq;
    rq.kind = fw::gtk::bridge::Kind::Call;
    rq.seq = 77;
    rq.page = 0xFFFFFFFFFFull;
    rq.name = u"WD_JAPI";
    std::string frame;
    fw::gtk::bridge::EncodeRequest(rq, frame);
    send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    std::string in;
    WaitFor(
        [&] {
            char b[64];
            ssize_t k = recv(fd, b, sizeof b, MSG_DONTWAIT);
            if (k > 0) in.append(b, static_cast<std::size_t>(k));
            return in.size() >= 4 && in.size() >= 4 + fw::gtk::bridge::FrameLength(in.data());
        },
        2000);
    fw::gtk::bridge::Response rs;
    bool ok = in.size() > 4 && fw::gtk::bridge::DecodeResponse(in.data() + 4, in.size() - 4, rs);
    EXPECT_TRUE(ok && rs.seq == 77 && rs.status == fw::gtk::bridge::Status::NoExternal) << "unknown-page-no-external";
    close(fd);

    f.Load("data:text/html,<script>document.title='ext:'+window.external.WD_JAPI('getApiVersion')</script>");
    f.WaitTitle("ext:", 5000);
    EXPECT_EQ(f.ev.Title(), "ext:1") << "bridge-survives-bad-peers";
}

}  // namespace
}  // namespace bridge_e2e
