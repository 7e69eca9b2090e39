#pragma once
#include <string>

namespace fw {

// Opens an address in the user's default browser. Only http and https addresses are
// handed on; anything else is refused (false).
bool ShellOpenUrl(const std::string& url);
// True for an address whose scheme is http or https (case-insensitive).
bool IsWebAddress(const std::string& url);

}  // namespace fw
