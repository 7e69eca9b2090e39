// The program's top-level windows as the system stacks them, and the one that has the
// keyboard focus (fw/backend.h).
#include "fw/win32/native.h"

#include <algorithm>
#include <vector>

namespace fw::backend {

using namespace fw::win32;

namespace {

// The Native of a top-level fw window among `ours` (the live ones); null for any other
// window: another process's window of our class holds a pointer of that process.
Native* Ours(HWND hwnd, const std::vector<HWND>& ours) {
    return hwnd && std::find(ours.begin(), ours.end(), hwnd) != ours.end() ? NativeOfHwnd(hwnd) : nullptr;
}

}  // namespace

std::vector<Handle> StackingOrder() {
    struct Walk {
        std::vector<HWND> ours = TopLevelWindows();
        std::vector<Handle> order;
    } walk;
    // EnumWindows lists the desktop's top-level windows from the top down, hidden ones too.
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* walk = reinterpret_cast<Walk*>(lp);
            if (Native* n = Ours(h, walk->ours)) walk->order.push_back(n->handle);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    std::reverse(walk.order.begin(), walk.order.end());
    return walk.order;
}

Handle FocusedTopLevel() {
    // The foreground window, or else the root of this thread's focus; a window of the back
    // end's own (a page's pop-up) stands for the fw window that owns it.
    const std::vector<HWND> ours = TopLevelWindows();
    for (HWND start : {GetForegroundWindow(), GetAncestor(::GetFocus(), GA_ROOT)})
        for (HWND h = start; h; h = GetWindow(h, GW_OWNER))
            if (Native* n = Ours(h, ours)) return n->handle;
    return kNoWindow;
}

}  // namespace fw::backend
