#pragma once
// Font set-up shared by the POSIX back ends (headless and GTK).

namespace fw {

// Adds fontconfig aliases, once per process, so that the Windows face names the client
// asks for find fonts with Chinese glyph forms: 宋体 / SimSun / 新宋体 -> Noto Serif CJK SC,
// 微软雅黑 / Microsoft YaHei -> Noto Sans CJK SC. Call before the first text is laid out;
// text drawing and Font::Exists call it themselves as well.
void InstallFontAliases();

}  // namespace fw
