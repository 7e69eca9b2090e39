#pragma once
// What a back end supplies for the modal loops of fw/dialog.h. Only fw/ includes this.
//
// The portable part (fw/common/dialog_common.cpp) keeps the list of running modal loops,
// answers IsModalRunning and IsDisabled, shows the dialog, activates the owner again
// afterwards and turns the outcome into RunModal's answer. A back end only runs the nested
// loop and wakes it when it should look at its end condition again.
#include "fw/window.h"

namespace fw::backend {

// Runs a nested message loop for the modal window `dlg` (already shown) that delivers every
// window's messages, posted ones and timers alike, as the main loop does. It returns as soon
// as one of these holds:
//   - `ended` is true (EndModal was called; it may already be true on entry);
//   - the window that had dlg's handle on entry no longer exists (check through the handle:
//     `dlg` may be deleted together with its window, so never touch it once it is gone);
//   - the program is quitting (fw::QuitRequested()).
// The back end drops mouse and key input for every window for which fw::IsDisabled answers
// true while the loop runs (the owner and its children), as a disabled window takes none.
// Nested calls (a modal window opened from a modal window) must work.
//
// Headless: runs the test hook of fw/headless/modal.h, then pumps until one of the above
// holds or nothing is left to deliver. GTK: a nested GMainLoop (g_main_loop_run), quitted
// from WakeModalLoop and from the back end's own window destruction.
void RunModalLoop(Window& dlg, const bool& ended);

// EndModal was called for some running loop: a loop that blocks waiting for events must
// return to check its condition (GTK: keep a stack of the running loops with their flags
// and g_main_loop_quit each whose flag is now true). May be called when no loop runs.
void WakeModalLoop();

}  // namespace fw::backend
