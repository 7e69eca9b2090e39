#pragma once
// Process start-up and the message loop.
#include <string>

namespace fw {

class Window;

// Starts the platform services every window needs (the toolkit, fonts, the browser engine's
// settings). May consume toolkit arguments from argv.
void InitPlatform(int& argc, char**& argv);
// The command-line tail: the arguments after the program's name, joined by single blanks.
// On Windows the program's entry is the back end's wWinMain (fw/win32/entry.cpp), which calls
// the client's main compiled under the name fw_ClientMain (the Windows executable's target
// says so), with the program's path and, when there is one, the command line's tail as the
// system hands it over (UTF-16, quotes and blanks as written) as one argument in UTF-8; the
// tail is then exactly that text.
std::string CommandLineTail(int argc, char** argv);

// The window whose destruction ends the message loop.
void SetMainWindow(Window* w);
Window* MainWindow();
// Runs the message loop until the main window is destroyed (or Quit is called); answers the
// exit code: 0 after the main window's destruction.
int RunMessageLoop();
// Ends the message loop with the given code.
void Quit(int code);
bool QuitRequested();
int ExitCode();

}  // namespace fw
