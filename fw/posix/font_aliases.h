#pragma once
// The fontconfig aliases that give the Windows face names the client's pages and windows ask
// for fonts with Chinese glyph forms: 宋体 / SimSun / 新宋体 / NSimSun -> Noto Serif CJK SC,
// 微软雅黑 / Microsoft YaHei -> Noto Sans CJK SC. Header-only: the web-process extension
// installs them in the browser engine's web processes too, where they also spare the engine
// its slow search for a fallback font for every run of Chinese text.

namespace fw {

inline constexpr char kFontAliasesXml[] = R"(<?xml version="1.0"?>
<fontconfig>
  <alias binding="strong"><family>宋体</family><prefer><family>Noto Serif CJK SC</family></prefer></alias>
  <alias binding="strong"><family>SimSun</family><prefer><family>Noto Serif CJK SC</family></prefer></alias>
  <alias binding="strong"><family>新宋体</family><prefer><family>Noto Serif CJK SC</family></prefer></alias>
  <alias binding="strong"><family>NSimSun</family><prefer><family>Noto Serif CJK SC</family></prefer></alias>
  <alias binding="strong"><family>微软雅黑</family><prefer><family>Noto Sans CJK SC</family></prefer></alias>
  <alias binding="strong"><family>Microsoft YaHei</family><prefer><family>Noto Sans CJK SC</family></prefer></alias>
</fontconfig>
)";

}  // namespace fw
