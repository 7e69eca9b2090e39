// The portable part of the facts about the running program: folders of paths.
#include "fw/system.h"

namespace fw {

std::string DirectoryOf(const std::string& path) {
    std::size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string GetModuleDir() { return DirectoryOf(ExecutablePath()); }

}  // namespace fw
