#pragma once
// Private to fw/common: what the portable window code keeps of each window besides its
// handle, and the Windows rules of showing, minimising, maximising and restoring.
#include "fw/backend.h"

namespace fw::detail {

struct WindowState {
    backend::Placement placement;
    Handle parent = kNoWindow;  // a child's parent, through its handle (the window may go)

    // The last WM_MOVE and WM_SIZE the window was sent.
    Point movePos{};
    unsigned sizeType = SIZE_RESTORED;
    int sizeW = 0, sizeH = 0;
};

// The placement after ShowWindow(cmd), for a window whose maximised rectangle is
// `maximizedRect` (the work area, or a child's parent client area; empty when unknown, and
// then maximising keeps the rectangle).
backend::Placement AfterShow(const backend::Placement& p, ShowCmd cmd, const Rect& maximizedRect);
// The placement after the platform minimised, maximised or restored the window by itself.
backend::Placement AfterPlatformState(const backend::Placement& p, bool minimized, bool maximized);

}  // namespace fw::detail
