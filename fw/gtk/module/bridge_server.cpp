// The script bridge's server in the client. window.external is synchronous: the web-process
// extension asks over a UNIX socket in a private folder, one request at a time, and waits
// for the answer; the requests are served here on the GTK main loop, ahead of the engine's
// own sources. Each request names the page (webkit_web_view_get_page_id) and goes to the
// view of that page (ServeBridgeRequest). Anything the call posts is handled after the
// answer has gone back, since posted messages wait in the queue. Only processes of this
// user may connect; a connection that sends what the wire format does not allow is closed.
// Folders of clients that were killed are swept away before a new one is made.
#include <glib-unix.h>
#include <glib/gstdio.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fw/gtk/module/module_parts.h"
#include "fw/posix/stale_sockets.h"

namespace fw::gtk::browser {

namespace {

namespace wire = bridge;

constexpr const char* kSocketFolderPrefix = "raduvove-";
constexpr const char* kSocketName = "bridge";

BridgeSocket& Place() {
    static BridgeSocket p;
    return p;
}

void RemoveBridgeSocket() {
    BridgeSocket& p = Place();
    if (!p.path.empty()) g_unlink(p.path.c_str());
    if (!p.dir.empty()) g_rmdir(p.dir.c_str());
}

struct Conn : std::enable_shared_from_this<Conn> {
    int fd = -1;
    guint inWatch = 0;
    guint outWatch = 0;
    std::string in;
    std::string out;
    bool closed = false;
};

std::unordered_map<Conn*, std::shared_ptr<Conn>>& Conns() {
    static auto* conns = new std::unordered_map<Conn*, std::shared_ptr<Conn>>;
    return *conns;
}

void CloseConn(Conn* c) {
    if (c->closed) return;
    c->closed = true;
    if (c->inWatch) g_source_remove(c->inWatch);
    if (c->outWatch) g_source_remove(c->outWatch);
    c->inWatch = c->outWatch = 0;
    close(c->fd);
    c->fd = -1;
    Conns().erase(c);  // callers on the stack hold their own reference
}

gboolean OnWritable(gint, GIOCondition, gpointer data);

// Sends what is waiting; the rest goes when the socket takes it.
void Flush(Conn* c) {
    while (!c->closed && !c->out.empty()) {
        ssize_t k = send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!c->outWatch) c->outWatch = g_unix_fd_add(c->fd, G_IO_OUT, OnWritable, c);
                return;
            }
            CloseConn(c);
            return;
        }
        c->out.erase(0, static_cast<std::size_t>(k));
    }
    if (c->outWatch && c->out.empty()) {
        g_source_remove(c->outWatch);
        c->outWatch = 0;
    }
}

gboolean OnWritable(gint, GIOCondition, gpointer data) {
    auto* c = static_cast<Conn*>(data);
    std::shared_ptr<Conn> keep = c->shared_from_this();
    c->outWatch = 0;  // this source ends here; Flush makes a new one if it must
    Flush(c);
    return G_SOURCE_REMOVE;
}

gboolean OnReadable(gint, GIOCondition, gpointer data) {
    auto* c = static_cast<Conn*>(data);
    std::shared_ptr<Conn> keep = c->shared_from_this();
    char buf[65536];
    for (;;) {
        ssize_t k = recv(c->fd, buf, sizeof buf, MSG_DONTWAIT);
        if (k > 0) {
            c->in.append(buf, static_cast<std::size_t>(k));
            if (c->in.size() >= 4 && !wire::FrameLengthValid(wire::FrameLength(c->in.data()))) break;
            if (c->in.size() > wire::kMaxFrame + 4) break;
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        CloseConn(c);  // the web process went away (or the socket broke)
        return G_SOURCE_REMOVE;
    }
    while (!c->closed && c->in.size() >= 4) {
        std::uint32_t len = wire::FrameLength(c->in.data());
        if (!wire::FrameLengthValid(len)) {
            CloseConn(c);
            break;
        }
        if (c->in.size() < 4 + static_cast<std::size_t>(len)) break;
        if (!c->out.empty()) {
            // A request before the last answer was taken: the extension never does that (it
            // waits for every answer), and answers piling up here would have no bound.
            CloseConn(c);
            break;
        }
        wire::Request rq;
        bool ok = wire::DecodeRequest(c->in.data() + 4, len, rq);
        c->in.erase(0, 4 + static_cast<std::size_t>(len));
        if (!ok) {
            CloseConn(c);
            break;
        }
        // The call may run a nested main loop; this source does not run again meanwhile.
        wire::Response rs = ServeBridgeRequest(rq);
        if (c->closed) break;
        std::string frame;
        if (!wire::EncodeResponse(rs, frame)) {
            // Too large to send: say that the call failed instead of leaving the page waiting.
            wire::Response failed;
            failed.seq = rs.seq;
            failed.status = wire::Status::Failed;
            failed.value = wire::Value::String(u"Result too large");
            wire::EncodeResponse(failed, frame);
        }
        c->out += frame;
        Flush(c);
    }
    return c->closed ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

gboolean OnAccept(gint fd, GIOCondition, gpointer) {
    for (;;) {
        int s = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (s < 0) {
            if (errno == EINTR) continue;
            break;
        }
        // Only processes of this user (our web processes) may talk to the client.
        ucred cred{};
        socklen_t len = sizeof cred;
        if (getsockopt(s, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != getuid()) {
            close(s);
            continue;
        }
        auto c = std::make_shared<Conn>();
        c->fd = s;
        // Ahead of the engine's own sources: a page waits for every answer.
        c->inWatch = g_unix_fd_add_full(G_PRIORITY_HIGH, s, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                        OnReadable, c.get(), nullptr);
        Conns()[c.get()] = c;
    }
    return G_SOURCE_CONTINUE;
}

// Listens on a fresh socket in a private folder. False when that cannot be done.
bool Listen() {
    BridgeSocket& place = Place();
    // Folders of clients that were killed, or whose display died, are swept away first.
    for (const char* base : {g_get_user_runtime_dir(), g_get_tmp_dir()})
        fw::posix::RemoveStaleSocketFolders(base, kSocketFolderPrefix, kSocketName);
    for (const char* base : {g_get_user_runtime_dir(), g_get_tmp_dir()}) {
        std::string tmpl = JoinPath(base, (std::string(kSocketFolderPrefix) + "XXXXXX").c_str());
        if (tmpl.size() + 8 >= sizeof(sockaddr_un{}.sun_path)) continue;
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!g_mkdtemp_full(buf.data(), 0700)) continue;
        place.dir = buf.data();
        place.path = JoinPath(place.dir.c_str(), kSocketName);
        break;
    }
    if (place.path.empty()) return false;
    std::atexit(RemoveBridgeSocket);

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, place.path.c_str(), place.path.size() + 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 64) != 0) {
        close(fd);
        return false;
    }
    g_unix_fd_add(fd, G_IO_IN, OnAccept, nullptr);
    return true;
}

}  // namespace

const BridgeSocket* StartBridgeServer() {
    static const bool listening = Listen();
    return listening ? &Place() : nullptr;
}

}  // namespace fw::gtk::browser
