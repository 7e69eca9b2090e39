// Reading and saving INI files on POSIX systems. Saving writes a temporary file beside the
// original and renames it over it, so a failure never leaves a half-written file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/ini_file.h"

namespace app {

IniFile IniFile::Load(const std::string& path, bool* ok) {
    std::string bytes;
    bool good = true;
    // Without blocking: a FIFO (or a device) would otherwise wait in open() for a writer.
    // Only a regular file is read (a link is followed); anything else is unreadable.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            good = false;
        } else {
            char buf[65536];
            ssize_t n;
            while ((n = ::read(fd, buf, sizeof buf)) != 0) {
                if (n > 0) {
                    bytes.append(buf, static_cast<size_t>(n));
                } else if (errno != EINTR) {
                    good = false;  // a read error: nothing of it is trusted
                    bytes.clear();
                    break;
                }
            }
        }
        ::close(fd);
    } else if (errno != ENOENT) {
        good = false;
    }
    if (ok) *ok = good;
    return FromBytes(bytes);
}

bool IniFile::Save(const std::string& pathIn, std::string* error) const {
    auto fail = [error](const char* reason) {
        if (error) *error = reason;
        return false;
    };
    // Write through a link to the file it names, keep the file's permissions, and leave a
    // file that its owner made read-only alone.
    std::string path = pathIn;
    if (char* real = ::realpath(pathIn.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return fail("not a regular file");
    if (exists && !(st.st_mode & S_IWUSR)) return fail("the file is read-only");
    std::string tmp = path + ".tmp-" + std::to_string(::getpid());
    std::string data = Serialize();
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fail(std::strerror(errno));
    if (exists) ::fchmod(fd, st.st_mode & 07777);
    const char* p = data.data();
    std::size_t left = data.size();
    int failed = 0;
    while (left > 0 && !failed) {
        const ssize_t n = ::write(fd, p, left);
        if (n > 0) {
            p += n;
            left -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            failed = errno;
        }
    }
    if (::close(fd) != 0 && !failed) failed = errno;
    if (!failed && std::rename(tmp.c_str(), path.c_str()) != 0) failed = errno;
    if (failed) {
        std::remove(tmp.c_str());
        return fail(std::strerror(failed));
    }
    return true;
}

}  // namespace app
