// static.ini that is no regular file on a POSIX system: a FIFO (or a device) is not opened
// for reading in a way that waits for a writer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

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
