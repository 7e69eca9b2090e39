#pragma once
// Every window of the program on the screen, hidden at once and brought back as it was: each
// at its place and in its state (minimised, maximised), in the stacking order it had, and
// the keyboard focus in the window that had it. UI thread only.
#include <vector>

#include "fw/window.h"

namespace fw {

class HiddenWindows {
public:
    // Hides every visible top-level window of the program (minimised ones too) and keeps
    // what to bring back. Children go with their parents.
    static HiddenWindows HideAll();
    bool empty() const { return windows_.empty(); }
    // Takes in a set hidden later (windows shown again meanwhile by other means): they come
    // back above these, and the focus goes where it was last.
    void Add(HiddenWindows later);
    // Shows the windows that still exist, the bottom one first, then gives the focus back.
    // The set is empty afterwards.
    void Restore();

private:
    std::vector<Handle> windows_;  // the bottom of the stacking order first
    Handle focus_ = kNoWindow;
};

}  // namespace fw
