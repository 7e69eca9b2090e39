// Deleting a folder tree on POSIX systems. DeleteTree works relative to open directory
// descriptors (openat, fstatat, unlinkat), so a path is never resolved twice and a symbolic
// link that appears under a name in the middle of the walk is not followed either.
#include "game/cache_clear.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder deeper than this is left as it is: each level holds a descriptor open, and the
// process needs its descriptors for other work meanwhile.
constexpr int kMaxDepth = 256;

bool IsDotOrDotDot(const char* n) { return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')); }

// Deletes the contents of the open directory `fd` (which it closes).
void DeleteContents(int fd, bool deleteDesktopIni, int depth) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    const int dfd = ::dirfd(dir);
    while (dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (IsDotOrDotDot(name)) continue;
        if (!deleteDesktopIni && ::strcasecmp(name, "desktop.ini") == 0) continue;

        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }

        if (type == DT_DIR) {
            if (depth < kMaxDepth) {
                // O_NOFOLLOW: a folder replaced by a link meanwhile is not entered. Its mark
                // is cleared through the open folder itself, never through a name.
                int sub = ::openat(dfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    struct stat st;
                    if (::fstat(sub, &st) == 0 && !(st.st_mode & S_IWUSR))
                        ::fchmod(sub, (st.st_mode & 07777) | S_IWUSR);
                    DeleteContents(sub, deleteDesktopIni, depth + 1);
                }
            }
            ::unlinkat(dfd, name, AT_REMOVEDIR);  // fails where something was kept
            continue;
        }

        // Files and links. A link is removed as a link: its target is never touched (nor its
        // mode: chmod would follow it).
        if (::unlinkat(dfd, name, 0) == 0 || type == DT_LNK) continue;
        // Removal failed: a read-only file loses its mark and is tried once more. (Whether
        // the mark is cleared before or after a removal that succeeds cannot be seen: the
        // file is gone either way.)
        struct stat st;
        if (::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (!(st.st_mode & S_IWUSR)) {
            ::fchmodat(dfd, name, (st.st_mode & 07777) | S_IWUSR, 0);
            ::unlinkat(dfd, name, 0);
        }
    }
    ::closedir(dir);
}

}  // namespace

int DeleteTree(const std::string& folder, bool deleteDesktopIni) {
    if (folder.empty()) return 0;
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DeleteContents(fd, deleteDesktopIni, 0);
    return 1;
}
