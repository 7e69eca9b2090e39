#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "app/ini_location.h"

namespace app {
namespace {

constexpr const char* kConfigFolder = "raduvove";

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

// $XDG_CONFIG_HOME when it is an absolute path (a relative one is to be ignored), else
// ~/.config; with a trailing '/'.
std::string UserConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string dir = xdg && xdg[0] == '/' ? std::string(xdg) : HomeDir() + "/.config";
    if (dir.back() != '/') dir += '/';
    return dir;
}

// mkdir -p, private to the user as configuration folders are; false when some part cannot
// be made.
bool MakeFolders(const std::string& dir) {
    for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

std::string StaticIniPath(const std::string& moduleDir) {
    const std::string here = moduleDir.empty() ? "./" : moduleDir;
    if (::access(here.c_str(), W_OK) == 0) return moduleDir + "static.ini";
    const std::string dir = UserConfigDir() + kConfigFolder + "/";
    // A folder that cannot be made leaves a path that reads as a missing file and cannot be
    // written: the client runs on its defaults, as with any unwritable static.ini.
    MakeFolders(dir);
    return dir + "static.ini";
}

}  // namespace app
