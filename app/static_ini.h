#pragma once
// static.ini: section "dmor" with the boss key, the one-time derivation of the user ids and
// the game window's place, and section "hosts" with the host names.
#include <cstdint>
#include <optional>
#include <string>

#include "fw/geometry.h"
#include "shared/hosts.h"

namespace app {

class IniFile;

// What the launcher takes from the file.
struct StaticIniValues {
    std::int32_t hotKey = -1;  // packed code; -1: no boss key
    std::string hotKeyName;
    std::string uid;
    std::string suid;
    bool firstStart = false;  // the derivation ran (and its three keys were written)
    bool written = false;     // the writes reached the disk
    shared::Hosts hosts;      // the host names, with the file's overrides
    // The game window's place as the last one left it: "gameRect" (its resting rectangle,
    // ParseGameRect) and "gameMax" ("1" maximised, "0" not); each absent when missing or
    // unreadable.
    std::optional<fw::Rect> gameRect;
    std::optional<bool> gameMaximized;
};

// The whole reading step: reads the keys, derives uid and suid from "filename" on a first
// start and writes "start", "filename" and "uid" back (all three or none).
StaticIniValues ReadStaticIni(const std::string& iniPath);

// "left,top,right,bottom": four decimal integers (blanks around each allowed), none beyond
// kGameCoordLimit either way; anything else gives nothing. Whether the rectangle suits the
// game window is the window's to judge.
constexpr int kGameCoordLimit = 1000000;
std::optional<fw::Rect> ParseGameRect(const std::string& text);
// Keeps the game window's place in the file ("gameRect" and "gameMax"), every other line as
// it was. False when it could not be written; a file that exists but cannot be read is left
// alone.
bool WriteGamePlace(const std::string& iniPath, const fw::Rect& rect, bool maximized);

// The default hosts with every valid override of section "hosts" applied (shared::IsValidHost;
// an invalid value is ignored with a line on standard error that names it).
shared::Hosts ReadHosts(const IniFile& ini);

// "filename" split at its last dot and its first underscore: uid and suid.
void SplitFileName(const std::string& fileName, std::string& uid, std::string& suid);

// The decimal value of the "hotkey" text as wcstol(…, 10) reads it on a platform whose long
// has 32 bits: blanks skipped, optional sign, digits up to the first other character;
// 0 without digits; clamped to the 32-bit range.
std::int32_t ParseHotKeyText(const std::string& text);

// The longest prefix a 260-unit UTF-16 buffer can hold (259 units).
std::string ProfileValueLimit(const std::string& value);

}  // namespace app
