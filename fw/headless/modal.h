#pragma once
// The headless desktop's modal loops: a test plays the user's part while a modal window runs.
#include <functional>

#include "fw/window.h"

namespace fw::headless {

// Runs at the start of every modal loop (fw::RunModal), with the modal window, before the
// loop delivers anything; null removes it. The loop then delivers posted messages and timers
// until EndModal, the window's destruction or a quit; when nothing is left to deliver and
// none of these happened, nothing else could come (the clock moves only when a test moves
// it), so the loop ends and RunModal answers -1. Set it in each test that needs it: the
// desktop's Reset does not remove it, ResetModal does.
void OnModal(std::function<void(Window& dlg)> hook);
void ResetModal();
// How many modal loops have started since the last ResetModal.
int ModalLoopsStarted();

}  // namespace fw::headless
