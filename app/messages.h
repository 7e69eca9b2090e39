#pragma once
// The client's own window messages and hot-key id.
#include "fw/messages.h"

constexpr unsigned WM_TRAY_NOTIFY = fw::WM_USER + 100;  // 1124
constexpr unsigned WM_OPEN_GAME = fw::WM_USER + 101;    // 1125
constexpr unsigned WM_GAME_CLOSED = fw::WM_USER + 102;  // 1126
constexpr unsigned WM_PAY_CLOSED = fw::WM_USER + 103;   // 1127
constexpr unsigned WM_BIND_CLOSED = fw::WM_USER + 104;  // 1128
constexpr unsigned WM_SHOW_IM = fw::WM_USER + 201;      // 1225
constexpr unsigned WM_IM_ARRIVED = fw::WM_USER + 202;   // 1226
constexpr unsigned WM_SHOW_VIP = fw::WM_USER + 203;     // 1227
constexpr unsigned WM_VIP_NOTIFY = fw::WM_USER + 204;   // 1228

constexpr int IDH_BOSSKEY = 1224;
constexpr unsigned kTrayIconId = 148;
