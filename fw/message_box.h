#pragma once
// Modal message boxes with Windows' flags and answers.
#include <string>

#include "fw/window.h"

namespace fw {

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows the box modally (owner may be kNoWindow) and answers the button pressed. Return
// answers OK (or Yes), Escape answers Cancel (or No); closing the box counts as Escape.
int MessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned flags);

}  // namespace fw
