// Reading and saving INI files on POSIX systems. Saving writes a temporary file beside the
// original and renames it over it, so a failure never leaves a half-written file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

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

bool IniFile::Save(const std::string& pathIn) const {
    // Write through a link to the file it names, keep the file's permissions, and leave a
    // file that its owner made read-only alone.
    std::string path = pathIn;
    if (char* real = ::realpath(pathIn.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR))) return false;
    std::string tmp = path + ".tmp-" + std::to_string(::getpid());
    std::string data = Serialize();
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        if (exists) ::chmod(tmp.c_str(), st.st_mode & 07777);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace app
