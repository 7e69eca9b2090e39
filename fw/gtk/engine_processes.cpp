// The engine's web processes end with the program. Each page runs in a web process of the
// engine's; one whose page hangs in a script (an endless loop) notices the program's end only
// when its script yields, which it never does: it would stay behind, spinning, for many
// seconds after the player quit. Once the message loop has ended, every web process of this
// program is ended at once. The network process, which writes the cookies and the pages'
// storage, ends by itself; other programs the client started (the default browser) are left.
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "fw/gtk/browser_loader.h"
#include "fw/posix/trim.h"

namespace fw::gtk::browser {

namespace {

// The engine's program for pages, as the kernel names it (15 characters at most).
constexpr const char* kWebProcessName = "WebKitWebProces";

std::string CommandName(int pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(f, name);
    return name;
}

}  // namespace

void EndEngineProcesses() {
    const auto found = posix::DescendantProcesses(static_cast<int>(getpid()));
    if (!found) return;
    for (int pid : *found)
        if (CommandName(pid) == kWebProcessName) kill(pid, SIGKILL);
}

}  // namespace fw::gtk::browser
