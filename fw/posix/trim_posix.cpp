// Working-set trimming on Linux (see trim.h). The own heap goes back with malloc_trim; the
// descendants are found by walking the proc file system's parent links and have their
// mappings paged out with process_madvise(MADV_PAGEOUT) through a pidfd, which the kernel
// allows only to a caller that may ptrace the process and holds CAP_SYS_NICE. Everything the
// kernel refuses is passed over.
#include "fw/posix/trim.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>
#include <unordered_set>

#ifndef MADV_PAGEOUT
#define MADV_PAGEOUT 21
#endif

namespace fw::posix {

namespace {

bool IsNumber(const char* s) {
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// The parent of `pid` from "<procRoot>/<pid>/stat", or -1. The command name sits in
// parentheses and may itself hold blanks and parentheses: the fields after the last ')' are
// the state and then the parent's id.
int ParentOf(const std::string& procRoot, int pid) {
    const std::string path = procRoot + "/" + std::to_string(pid) + "/stat";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char buf[1024];
    ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return -1;
    buf[n] = '\0';
    const char* close = std::strrchr(buf, ')');
    if (!close) return -1;
    char state = 0;
    int ppid = -1;
    if (std::sscanf(close + 1, " %c %d", &state, &ppid) != 2) return -1;
    return ppid;
}

long PidfdOpen(int pid) {
#ifdef SYS_pidfd_open
    return ::syscall(SYS_pidfd_open, pid, 0);
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

long ProcessMadvise(int pidfd, const iovec* iov, std::size_t n) {
#ifdef SYS_process_madvise
    return ::syscall(SYS_process_madvise, pidfd, iov, n, MADV_PAGEOUT, 0u);
#else
    (void)pidfd;
    (void)iov;
    (void)n;
    errno = ENOSYS;
    return -1;
#endif
}

// The mappings worth advising: every one with some access, except the kernel's special
// areas, which refuse the advice.
std::vector<iovec> Mappings(const std::string& procRoot, int pid) {
    std::vector<iovec> out;
    std::ifstream maps(procRoot + "/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long start = 0, end = 0;
        char perms[8] = {};
        int consumed = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx %7s%n", &start, &end, perms, &consumed) != 3) continue;
        if (end <= start || std::strncmp(perms, "---", 3) == 0) continue;
        if (line.find("[vsyscall]") != std::string::npos || line.find("[vvar") != std::string::npos ||
            line.find("[vdso]") != std::string::npos)
            continue;
        out.push_back(iovec{reinterpret_cast<void*>(start), end - start});
    }
    return out;
}

}  // namespace

std::optional<std::vector<int>> DescendantProcesses(int root, const std::string& procRoot) {
    DIR* dir = ::opendir(procRoot.c_str());
    if (!dir) return std::nullopt;
    std::unordered_map<int, std::vector<int>> children;
    while (dirent* e = ::readdir(dir)) {
        if (!IsNumber(e->d_name)) continue;
        const int pid = std::atoi(e->d_name);
        const int ppid = ParentOf(procRoot, pid);
        if (ppid > 0 && ppid != pid) children[ppid].push_back(pid);
    }
    ::closedir(dir);

    std::vector<int> out;
    std::unordered_set<int> seen{root};
    std::vector<int> todo{root};
    while (!todo.empty()) {
        const int p = todo.back();
        todo.pop_back();
        auto it = children.find(p);
        if (it == children.end()) continue;
        for (int c : it->second) {
            if (!seen.insert(c).second) continue;  // a loop in the links (a changing list)
            out.push_back(c);
            todo.push_back(c);
        }
    }
    return out;
}

bool PageOutProcess(int pid, const std::string& procRoot) {
    const int parentBefore = ParentOf(procRoot, pid);
    const long fd = PidfdOpen(pid);
    if (fd < 0) return false;
    // The id may have been given to another process since the list was read: only the
    // process that still has the same parent is ours.
    if (parentBefore <= 0 || ParentOf(procRoot, pid) != parentBefore) {
        ::close(static_cast<int>(fd));
        return false;
    }
    const std::vector<iovec> maps = Mappings(procRoot, pid);
    bool advised = false;
    std::size_t i = 0;
    constexpr std::size_t kBatch = 1024;  // UIO_MAXIOV
    while (i < maps.size()) {
        const std::size_t n = std::min(kBatch, maps.size() - i);
        const long done = ProcessMadvise(static_cast<int>(fd), &maps[i], n);
        if (done < 0) {
            if (errno == EINVAL || errno == ENOMEM) {
                ++i;  // this mapping refuses the advice (locked, special, gone): skip it
                continue;
            }
            break;  // not allowed for this process at all (EPERM, ENOSYS, ESRCH)
        }
        advised = true;
        // A short count stops at the mapping that failed: skip the whole ones and that one.
        std::size_t bytes = static_cast<std::size_t>(done);
        std::size_t whole = 0;
        while (whole < n && bytes >= maps[i + whole].iov_len) {
            bytes -= maps[i + whole].iov_len;
            ++whole;
        }
        i += whole < n ? whole + 1 : n;
    }
    ::close(static_cast<int>(fd));
    return advised;
}

TrimResult TrimProcessTree(const std::string& procRoot) {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
    TrimResult r;
    auto pids = DescendantProcesses(static_cast<int>(::getpid()), procRoot);
    if (!pids) return r;
    r.listed = true;
    r.children = static_cast<int>(pids->size());
    for (int pid : *pids)
        if (PageOutProcess(pid, procRoot)) ++r.trimmed;
    return r;
}

}  // namespace fw::posix
