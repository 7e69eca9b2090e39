// The steps of cache clearing on real files and processes of a POSIX system: DeleteTree with
// read-only entries, links that must not be followed and folders the user may not list, and
// working-set trimming of the own process tree.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "delete_tree_fixture.h"
#include "fw/posix/trim.h"
#include "game/cache_clear.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testing_support::DeleteTreeTest;
using testing_support::Listing;
using testing_support::TempDir;
using testing_support::Touch;
using testing_support::WriteFile;

TEST_F(DeleteTreeTest, LinksAreRemovedAsLinksAndNeverFollowed) {
    const fs::path outside = dir.path() / "outside";
    Touch(outside / "keep" / "precious.txt");
    Touch(outside / "file.txt");
    fs::create_directories(cache() / "sub");
    fs::create_directory_symlink(outside, cache() / "dirlink");
    fs::create_directory_symlink(outside / "keep", cache() / "sub" / "nested-link");
    fs::create_symlink(outside / "file.txt", cache() / "filelink");
    fs::create_symlink(dir.path() / "nowhere", cache() / "dangling");
    // A link named desktop.ini is kept like the file would be; its target untouched either way.
    fs::create_symlink(outside / "file.txt", cache() / "sub" / "desktop.ini");
    chmod((outside / "file.txt").c_str(), 0444);

    ASSERT_EQ(DeleteTree(cache().string(), false), 1);
    EXPECT_EQ(Listing(cache()), (std::vector<std::string>{"sub", "sub/desktop.ini"}));
    EXPECT_TRUE(fs::is_symlink(cache() / "sub" / "desktop.ini"));
    EXPECT_EQ(Listing(outside), (std::vector<std::string>{"file.txt", "keep", "keep/precious.txt"}));
    EXPECT_EQ(testing_support::ReadFile((outside / "keep" / "precious.txt").string()), "data of precious.txt");
    // The target of the file link kept its mode: chmod would have followed the link.
    struct stat st {};
    ASSERT_EQ(stat((outside / "file.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    ASSERT_EQ(DeleteTree(cache().string(), true), 1);
    EXPECT_TRUE(fs::is_empty(cache()));
    EXPECT_TRUE(fs::exists(outside / "file.txt"));
}

// Read-only entries and unreadable folders only mean something to a user without root's
// privileges: as root the tree is built and deleted by an unprivileged child process.
TEST_F(DeleteTreeTest, ReadOnlyEntriesGoAndUnreadableFoldersAnswerZero) {
    const fs::path work = dir.path() / "work";
    fs::create_directories(work);
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (uid == 0) {
        // nobody, or its usual ids where the system names no such user (root may take any).
        const passwd* nobody = getpwnam("nobody");
        uid = nobody ? nobody->pw_uid : 65534;
        gid = nobody ? nobody->pw_gid : 65534;
        ASSERT_EQ(chown(work.c_str(), uid, gid), 0);
        chmod(dir.path().c_str(), 0755);
    }
    const std::string root = work.string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only system calls and DeleteTree from here on.
        if (geteuid() == 0 && (setgid(gid) != 0 || setuid(uid) != 0)) _exit(90);
        auto mk = [](const std::string& p, mode_t mode) {
            int fd = open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0) _exit(91);
            if (write(fd, "x", 1) != 1) _exit(91);
            close(fd);
            chmod(p.c_str(), mode);
        };
        const std::string c = root + "/cache";
        if (mkdir(c.c_str(), 0755) || mkdir((c + "/ro").c_str(), 0755) || mkdir((c + "/ro/inner").c_str(), 0755))
            _exit(92);
        mk(c + "/readonly.txt", 0444);
        mk(c + "/ro/file.txt", 0444);
        mk(c + "/ro/inner/file.txt", 0400);
        mk(c + "/ro/desktop.ini", 0444);
        chmod((c + "/ro/inner").c_str(), 0555);
        chmod((c + "/ro").c_str(), 0555);  // read-only folders: their contents can go all the same
        if (DeleteTree(c, false) != 1) _exit(93);
        struct stat st;
        if (lstat((c + "/readonly.txt").c_str(), &st) == 0) _exit(94);
        if (lstat((c + "/ro/file.txt").c_str(), &st) == 0) _exit(95);
        if (lstat((c + "/ro/inner").c_str(), &st) == 0) _exit(96);
        if (lstat((c + "/ro/desktop.ini").c_str(), &st) != 0) _exit(97);  // kept, with its folder
        // A folder the user may not read cannot be listed.
        const std::string locked = root + "/locked";
        if (mkdir(locked.c_str(), 0755)) _exit(98);
        mk(locked + "/inside.txt", 0644);
        chmod(locked.c_str(), 0311);
        if (DeleteTree(locked, false) != 0) _exit(99);
        chmod(locked.c_str(), 0755);
        if (lstat((locked + "/inside.txt").c_str(), &st) != 0) _exit(100);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the unprivileged run failed at its check " << WEXITSTATUS(status);
}

// ---- trimming ------------------------------------------------------------------------------

namespace {

void WriteStat(const fs::path& proc, int pid, const std::string& comm, int ppid) {
    Touch(proc / std::to_string(pid) / "stat");
    WriteFile((proc / std::to_string(pid) / "stat").string(),
              std::to_string(pid) + " (" + comm + ") S " + std::to_string(ppid) + " 1 1 0 -1 4194560 0 0\n");
}

}  // namespace

TEST(ProcessTree, DescendantsFollowTheParentLinks) {
    TempDir dir;
    const fs::path proc = dir.path() / "proc";
    WriteStat(proc, 1, "init", 0);
    WriteStat(proc, 100, "client", 1);
    WriteStat(proc, 101, "web process", 100);
    WriteStat(proc, 102, "a) S 1 (odd", 101);  // a name that looks like more fields
    WriteStat(proc, 103, "network", 100);
    WriteStat(proc, 200, "other", 1);
    WriteStat(proc, 201, "other's child", 200);
    // Loops in a list that changed while it was read do not hang the walk.
    WriteStat(proc, 300, "loop a", 301);
    WriteStat(proc, 301, "loop b", 300);
    Touch(proc / "400" / "status");            // no stat file: passed over
    WriteFile((proc / "self").string(), "x");  // not a process
    Touch(proc / "sys" / "kernel");
    Touch(proc / "500" / "stat");
    WriteFile((proc / "500" / "stat").string(), "garbage without parentheses");

    auto d = fw::posix::DescendantProcesses(100, proc.string());
    ASSERT_TRUE(d.has_value());
    std::sort(d->begin(), d->end());
    EXPECT_EQ(*d, (std::vector<int>{101, 102, 103}));
    auto loop = fw::posix::DescendantProcesses(300, proc.string());
    ASSERT_TRUE(loop.has_value());
    EXPECT_EQ(*loop, (std::vector<int>{301}));
    auto none = fw::posix::DescendantProcesses(103, proc.string());
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());

    EXPECT_FALSE(fw::posix::DescendantProcesses(100, (dir.path() / "no-proc").string()).has_value());
    const fw::posix::TrimResult r = fw::posix::TrimProcessTree((dir.path() / "no-proc").string());
    EXPECT_FALSE(r.listed);
}

// A child that maps a file and reads all of it has those pages resident; trimming the
// process tree finds it (and its own child) and gives the pages back where the kernel
// allows it.
TEST(ProcessTree, ChildrenOfTheClientAreFoundAndPagedOut) {
    TempDir dir;
    const std::string big = dir.file("big.bin");
    {
        std::ofstream out(big, std::ios::binary);
        std::string mb(1 << 20, 'x');
        for (int i = 0; i < 32; ++i) out << mb;
    }
    int ready[2], quit[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(quit), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(quit[1]);
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            char q;
            (void)!read(quit[0], &q, 1);  // ends when the test closes its end
            _exit(0);
        }
        int fd = open(big.c_str(), O_RDONLY);
        const std::size_t len = 32u << 20;
        auto* m = static_cast<volatile char*>(mmap(nullptr, len, PROT_READ, MAP_PRIVATE, fd, 0));
        if (m == MAP_FAILED) _exit(1);
        long sum = 0;
        for (std::size_t i = 0; i < len; i += 4096) sum += m[i];
        char c = sum != 0 ? 'r' : 'e';
        if (write(ready[1], &c, 1) != 1) _exit(1);
        char q;
        (void)!read(quit[0], &q, 1);
        waitpid(grandchild, nullptr, 0);
        _exit(0);
    }
    close(ready[1]);
    close(quit[0]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    auto rss = [](pid_t pid) {
        std::ifstream f("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(f, line))
            if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
        return -1L;
    };
    const long before = rss(child);

    auto d = fw::posix::DescendantProcesses(getpid());
    const fw::posix::TrimResult r = fw::posix::TrimProcessTree();
    const long after = rss(child);
    const bool strangerRefused = !fw::posix::PageOutProcess(999999999);
    close(quit[1]);
    waitpid(child, nullptr, 0);

    ASSERT_TRUE(d.has_value());
    EXPECT_NE(std::find(d->begin(), d->end(), child), d->end());
    EXPECT_GE(d->size(), 2u);  // the child's own child too
    EXPECT_TRUE(r.listed);
    EXPECT_GE(r.children, 2);
    EXPECT_TRUE(strangerRefused);
    if (r.trimmed == 0) GTEST_SKIP() << "the kernel does not let this process page out its children";
    EXPECT_GT(before, 32 * 1024 * 3 / 4);
    EXPECT_LT(after, before - 16 * 1024) << "resident kB before " << before << ", after " << after;
}
