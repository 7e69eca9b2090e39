// raduvove.exe with the scripted browser control: the client's own main (compiled under the
// name fw_ClientMain, as in the real program) started once the control is registered for the
// system's WebBrowser class. Its end says whether the client gave back every object the
// controls handed it: a leak or an over-release ends the program with exit code 3.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fw/windows/wide.h"
#include "scripted_control.h"

int fw_ClientMain(int argc, char** argv);

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmdLine, int) {
    if (FAILED(OleInitialize(nullptr)) || !scripted::RegisterScriptedControl()) {
        std::fprintf(stderr, "raduvove-scripted: the scripted browser control cannot be registered\n");
        return 90;
    }
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string program = fw::windows::Narrow(path), tail = fw::windows::Narrow(cmdLine ? cmdLine : L"");
    std::vector<char*> argv{program.data()};
    if (!tail.empty()) argv.push_back(tail.data());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    const int code = fw_ClientMain(argc, argv.data());
    const std::string left = scripted::ScriptedControlsLeft();
    if (!left.empty()) {
        std::fprintf(stderr, "raduvove-scripted: %s\n", left.c_str());
        std::fflush(stderr);
        return 3;
    }
    return code;
}
