#include "fw/posix/stale_sockets.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace fw::posix {

namespace {

constexpr std::size_t kSuffix = 6;  // mkdtemp's XXXXXX

// True when nothing listens on the socket at `path` (a connection is refused).
bool NobodyListens(const std::string& path) {
    sockaddr_un addr{};
    if (path.size() + 1 > sizeof addr.sun_path) return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    const bool refused = rc != 0 && errno == ECONNREFUSED;
    close(fd);
    return refused;
}

// What a candidate folder holds: nothing, exactly our socket, or something else.
enum class Content { Empty, Socket, Other };

Content Look(const std::string& dir, const std::string& leaf, std::time_t& socketTime) {
    DIR* d = opendir(dir.c_str());
    if (!d) return Content::Other;
    Content what = Content::Empty;
    while (dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        struct stat st {};
        if (leaf == e->d_name && what == Content::Empty && lstat((dir + "/" + leaf).c_str(), &st) == 0 &&
            S_ISSOCK(st.st_mode) && st.st_uid == getuid()) {
            what = Content::Socket;
            socketTime = st.st_mtime;
            continue;
        }
        what = Content::Other;
        break;
    }
    closedir(d);
    return what;
}

}  // namespace

int RemoveStaleSocketFolders(const std::string& base, const std::string& prefix, const std::string& leaf,
                             int graceSeconds) {
    DIR* d = opendir(base.c_str());
    if (!d) return 0;
    int removed = 0;
    const std::time_t now = std::time(nullptr);
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + kSuffix || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string dir = base + "/" + name;
        struct stat st {};
        // Our own private folders only: a real folder (not a link), this user's, closed to others.
        if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0)
            continue;
        std::time_t socketTime = 0;
        const Content what = Look(dir, leaf, socketTime);
        if (what == Content::Other) continue;
        // Young ones may belong to a program that is about to listen there.
        if (now - (what == Content::Socket ? socketTime : st.st_mtime) < graceSeconds) continue;
        if (what == Content::Socket) {
            const std::string sock = dir + "/" + leaf;
            if (!NobodyListens(sock)) continue;  // a running program's
            unlink(sock.c_str());
        }
        if (rmdir(dir.c_str()) == 0) ++removed;
    }
    closedir(d);
    return removed;
}

}  // namespace fw::posix
