#pragma once
// Where static.ini lives. A client folder the user may write to keeps it beside the
// executable (a portable copy, and every Windows install, which goes to the user's own
// folder). An installed client's folder belongs to the system: its static.ini then lives in
// the user's configuration folder ($XDG_CONFIG_HOME/raduvove/, else ~/.config/raduvove/),
// which is made when missing.
#include <string>

namespace app {

// moduleDir: the executable's folder with its trailing separator.
std::string StaticIniPath(const std::string& moduleDir);

}  // namespace app
