#include "shared/exit_prompt.h"

#include "fw/message_box.h"

namespace shared {

void ExitPrompt(fw::Window* target) {
    // The target is looked at again after the box: it may have gone while the box was up.
    const fw::Handle h = target ? target->handle() : fw::kNoWindow;
    const int answer = fw::MessageBox(fw::kNoWindow, kExitText, kExitCaption, fw::MB_OKCANCEL | fw::MB_ICONQUESTION);
    if (answer != fw::IDOK) return;
    if (fw::Window* w = fw::Window::FromHandle(h)) w->Send(fw::WM_CLOSE);
}

}  // namespace shared
