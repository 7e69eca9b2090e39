#include "app/ini_location.h"

namespace app {

// The installer puts the client into the user's own folder, so static.ini stays beside it.
std::string StaticIniPath(const std::string& moduleDir) { return moduleDir + "static.ini"; }

}  // namespace app
