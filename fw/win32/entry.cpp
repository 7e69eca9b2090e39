// The Windows program's entry. The system hands a GUI program its command line as UTF-16 text
// with the program's own name cut off (the tail, as written: quotes and blanks kept). The
// client's main sees it as its one argument after the program's path, so
// fw::CommandLineTail gives back exactly that text, in UTF-8.
//
// The client's entry is its ordinary main; the Windows executable compiles it under the name
// fw_ClientMain (fw/app.h says so), and this wWinMain is the program's entry instead.
#include "fw/windows/windows_api.h"

#include <string>
#include <vector>

#include "fw/system.h"
#include "fw/windows/wide.h"

int fw_ClientMain(int argc, char** argv);

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmdLine, int) {
    std::string program = fw::ExecutablePath();
    std::string tail = fw::windows::Narrow(cmdLine ? cmdLine : L"");
    std::vector<char*> argv{program.data()};
    if (!tail.empty()) argv.push_back(tail.data());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    return fw_ClientMain(argc, argv.data());
}
