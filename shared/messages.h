#pragma once
// The window messages that travel between the client's windows, the boss key's hot-key id
// and the tray icon's id: one table, so that sender and receiver agree on every number.
// A window's private messages (its workers', its timers) stay in its own header.
#include "fw/messages.h"

constexpr unsigned WM_TRAY_NOTIFY = fw::WM_USER + 100;  // 1124 tray icon -> launcher (lParam: mouse message)
constexpr unsigned WM_OPEN_GAME = fw::WM_USER + 101;    // 1125 page dialog -> launcher, sent
constexpr unsigned WM_GAME_CLOSED = fw::WM_USER + 102;  // 1126 game window -> launcher, posted
constexpr unsigned WM_PAY_CLOSED = fw::WM_USER + 103;   // 1127 payment window -> game window, posted
constexpr unsigned WM_BIND_CLOSED = fw::WM_USER + 104;  // 1128 account page window -> game window, posted
constexpr unsigned WM_SHOW_IM =
    fw::WM_USER + 201;  // 1225 page dialog -> launcher, posted: hand ImParam() to the game window
constexpr unsigned WM_IM_ARRIVED = fw::WM_USER + 202;  // 1226 chat library callback -> game window, posted
constexpr unsigned WM_SHOW_VIP = fw::WM_USER + 203;    // 1227 game window -> itself (wParam: show when loaded)
constexpr unsigned WM_VIP_NOTIFY = fw::WM_USER + 204;  // 1228 VIP window -> game window, posted

// The boss key is registered for the launcher window under this id.
constexpr int IDH_BOSSKEY = 1224;
constexpr unsigned kTrayIconId = 148;
