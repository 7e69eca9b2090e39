// static.ini that is no regular file on a POSIX system: a FIFO (or a device) is not opened
// for reading in a way that waits for a writer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "app/ini_location.h"
#include "app/static_ini.h"
#include "test_support.h"

using testing_support::TempDir;

TEST(StaticIni, FifoIsAnUnreadableFileAndBlocksNothing) {
    TempDir d;
    const std::string path = d.file("static.ini");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&] { return app::ReadStaticIni(path); });
    const bool answered = read.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!answered) {
        // The reader waits in open() for a writer: be that writer, so that the test ends.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    const app::StaticIniValues v = read.get();
    EXPECT_TRUE(answered) << "reading a FIFO named static.ini waited for a writer";
    EXPECT_EQ(v.hotKey, 121);
    EXPECT_FALSE(v.written);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
}

// A folder the user may write to keeps static.ini beside the executable; any other (here one
// that does not exist, which no user, root included, can write to) sends it to the user's
// configuration folder, which is made private to the user. A relative XDG_CONFIG_HOME is
// ignored.
TEST(StaticIni, LivesBesideAWritableClientElseInTheUsersConfigFolder) {
    TempDir d;
    const std::string home = d.file("home"), config = d.file("config");
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(app::StaticIniPath(d.dir()), d.file("static.ini"));
    const std::string installed = d.file("usr/lib/raduvove") + "/";
    EXPECT_EQ(app::StaticIniPath(installed), config + "/raduvove/static.ini");
    struct stat st {};
    ASSERT_EQ(::stat((config + "/raduvove").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(app::StaticIniPath(installed), home + "/.config/raduvove/static.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
}
