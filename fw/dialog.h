#pragma once
// Modal loops. A modal window runs its own message loop over its owner, which takes no input
// while it runs; the loop ends with EndModal.
#include "fw/window.h"

namespace fw {

// Shows `dlg` (already created, with its owner as parent), disables the owner and runs the
// loop until EndModal; then enables the owner again and answers EndModal's code. Answers -1
// at once when the dialog does not exist or the dialog is destroyed while the loop runs.
int RunModal(Window& dlg);
void EndModal(Window& dlg, int result);
bool IsModalRunning(const Window& dlg);
// True while the window takes no input because a modal loop of one of its owned windows runs.
bool IsDisabled(const Window& w);

}  // namespace fw
