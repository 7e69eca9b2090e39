// The sweep of the socket folders that clients which died left behind (the bridge's sockets
// of the GTK back end): only dead folders of ours go.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utime.h>

#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fw/posix/stale_sockets.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// A socket file at `path`: listening (a running program's) or closed again (a dead one's).
int BindSocket(const std::string& path, bool listening) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    if (listening) {
        listen(fd, 4);
        return fd;
    }
    close(fd);
    return -1;
}

void Age(const fs::path& p, int seconds) {
    struct stat st {};
    lstat(p.c_str(), &st);
    timeval times[2] = {{st.st_atime - seconds, 0}, {st.st_mtime - seconds, 0}};
    lutimes(p.c_str(), times);
}

fs::path Folder(const fs::path& base, const std::string& name) {
    fs::path d = base / name;
    fs::create_directory(d);
    fs::permissions(d, fs::perms::owner_all, fs::perm_options::replace);
    return d;
}

TEST(StaleSockets, OnlyDeadFoldersOfOursGo) {
    testing_support::TempDir tmp;
    const fs::path base = tmp.path();
    // A dead client's folder: its socket takes no connection.
    fs::path dead = Folder(base, "raduvove-dead01");
    BindSocket((dead / "bridge").string(), false);
    Age(dead / "bridge", 10);
    // A running client's folder.
    fs::path live = Folder(base, "raduvove-live01");
    int fd = BindSocket((live / "bridge").string(), true);
    ASSERT_GE(fd, 0);
    Age(live / "bridge", 10);
    // A client that died before it listened, long ago; and one that is about to listen.
    fs::path empty = Folder(base, "raduvove-empty1");
    Age(empty, 10);
    fs::path fresh = Folder(base, "raduvove-fresh1");
    fs::path young = Folder(base, "raduvove-young1");
    BindSocket((young / "bridge").string(), false);
    // Not ours to touch: other files inside, a name of another length, open to others, a link.
    fs::path other = Folder(base, "raduvove-other1");
    BindSocket((other / "bridge").string(), false);
    testing_support::WriteFile((other / "notes").string(), "x");
    Age(other / "bridge", 10);
    fs::path longer = Folder(base, "raduvove-toolong");
    Age(longer, 10);
    fs::path open = Folder(base, "raduvove-open01");
    fs::permissions(open, fs::perms::all, fs::perm_options::replace);
    Age(open, 10);
    fs::create_directory_symlink(dead, base / "raduvove-link01");

    EXPECT_EQ(fw::posix::RemoveStaleSocketFolders(base.string(), "raduvove-", "bridge"), 2);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(empty));
    for (const fs::path& kept : {live, fresh, young, other, longer, open}) EXPECT_TRUE(fs::exists(kept)) << kept;
    EXPECT_TRUE(fs::is_symlink(base / "raduvove-link01"));
    EXPECT_TRUE(fs::exists(live / "bridge"));
    close(fd);

    // Nothing there at all, or no such folder: nothing happens.
    EXPECT_EQ(fw::posix::RemoveStaleSocketFolders((base / "missing").string(), "raduvove-", "bridge"), 0);
}

}  // namespace
