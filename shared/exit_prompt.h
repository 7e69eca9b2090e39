#pragma once
// The exit prompt that the launcher's close button and Alt+F4 in every page-hosting window
// show: "确定要退出吗？" without an owner window; OK sends WM_CLOSE to the target (the
// launcher, which takes the whole client down with it).
#include "fw/window.h"

namespace shared {

constexpr const char* kExitText = "确定要退出吗？";
constexpr const char* kExitCaption = "退出提示";

// Asks; on OK sends WM_CLOSE to `target` if it still exists then. A null target: the
// question is asked and nothing follows.
void ExitPrompt(fw::Window* target);

}  // namespace shared
