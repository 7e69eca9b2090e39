#include "app/resource.h"

namespace app {

std::vector<fw::MenuItem> LoadTrayMenu() { return {{"退出", ID_TRAY_EXIT}}; }

}  // namespace app
