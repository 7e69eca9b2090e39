#pragma once
// GDI+ for the framework's Windows code: started once per process on first use and never
// shut down (a worker may still draw while the process ends). Include after
// fw/windows/windows_api.h.
#include <objidl.h>
#include <gdiplus.h>

#include <optional>
#include <string>
#include <string_view>

namespace fw::windows {

// Starts GDI+ the first time; false when it cannot be started. Any thread.
bool EnsureGdiplus();

// The installed family that stands for a face name the client asks for: the face itself
// when the system has it, otherwise the first installed one of its aliases (宋体 / SimSun /
// 新宋体 / NSimSun and 微软雅黑 / Microsoft YaHei, with the Noto CJK faces last).
// nullopt when neither the face nor an alias is installed. Any thread; answers are cached.
std::optional<std::wstring> ResolveFontFamily(std::string_view face);

}  // namespace fw::windows
