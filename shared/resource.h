#pragma once
// Resource ids of the client: the skin pictures embedded from res/png/<id>.png, the icon and
// the tray menu.
#include <vector>

#include "fw/tray.h"

namespace shared {

// Skin pictures (PNG resources).
enum SkinId : int {
    IDB_LAUNCHER_FORUM = 131,
    IDB_BOSSKEY_BG = 132,
    IDB_LAUNCHER_PAY = 133,
    IDB_GAME_CLEAR = 134,
    IDB_GAME_CLEARING = 135,
    IDB_GAME_CLOSE = 136,
    IDB_BOSSKEY_CLOSE = 137,
    IDB_LAUNCHER_CLOSE = 138,
    IDB_LAUNCHER_SERVICE = 139,
    IDB_GAME_BOSSKEY = 140,
    IDB_GAME_BIND = 142,
    IDB_GAME_FRAME = 143,
    IDB_VIP_LOGO = 144,
    IDB_VIP_TITLE = 145,
    IDB_VIP_CLOSE = 146,
    IDB_GAME_LOGO = 147,
    IDI_APP = 148,
    IDB_LAUNCHER_BG = 149,
    IDB_GAME_MAX = 150,
    IDB_GAME_MIN = 151,
    IDB_LAUNCHER_MIN = 152,
    IDB_LAUNCHER_OFFICIAL = 153,
    IDB_GAME_RETURN = 154,
    IDB_GAME_PAY = 155,
    IDB_BOSSKEY_OK = 156,
    IDB_GAME_RESTORE = 157,
    IDB_GAME_SPINNER = 158,
    IDB_VIP_HOVER = 159,
    IDB_VIP_NORMAL = 160,
};

constexpr int IDR_TRAY_MENU = 161;
constexpr unsigned ID_TRAY_EXIT = 32772;

// Menu 161: its one pop-up's items.
std::vector<fw::MenuItem> LoadTrayMenu();

}  // namespace shared
