#pragma once
// Facts about the machine and the running program.
#include <string>

#include "fw/geometry.h"

namespace fw {

Size ScreenSize();      // the primary screen
Rect WorkArea();        // the primary screen less task bars
std::string ExecutablePath();
// The executable's directory with its trailing separator; empty when the path has none.
std::string GetModuleDir();
// The directory part of a path, separator included ('/' or '\\'); "" without one.
std::string DirectoryOf(const std::string& path);
// Returns the part of the working set the program can give back to the system.
void TrimOwnWorkingSet();

}  // namespace fw
