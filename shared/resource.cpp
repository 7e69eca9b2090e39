#include "shared/resource.h"

namespace shared {

std::vector<fw::MenuItem> LoadTrayMenu() { return {{"退出", ID_TRAY_EXIT}}; }

}  // namespace shared
