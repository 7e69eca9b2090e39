// The rules of Windows' ShowWindow, and of a window that the platform minimises, maximises or
// restores by itself, as pure functions of a window's placement.
#include "fw/common/window_state.h"

namespace fw::detail {

using backend::Placement;

namespace {

// Maximised now, or once it is restored.
bool MaximizedAtRest(const Placement& p) { return p.maximized || (p.minimized && p.restoreToMaximized); }

// Back from minimised or maximised to the resting state: a window minimised from maximised
// goes back to maximised, a maximised one to its normal rectangle.
Placement Restored(Placement p) {
    if (p.minimized) {
        p.minimized = false;
        p.maximized = p.restoreToMaximized;
        p.restoreToMaximized = false;
    } else if (p.maximized) {
        p.maximized = false;
        p.rect = p.normalRect;
    }
    return p;
}

}  // namespace

Activation ShowActivation(ShowCmd cmd) {
    switch (cmd) {
    case ShowCmd::Hide:
    case ShowCmd::ShowMinimized:
    case ShowCmd::Minimize: return Activation::Deactivate;
    case ShowCmd::ShowNoActivate:
    case ShowCmd::ShowNA: return Activation::Keep;
    case ShowCmd::ShowNormal:
    case ShowCmd::Maximize:
    case ShowCmd::Show:
    case ShowCmd::Restore: break;
    }
    return Activation::Activate;
}

Placement AfterShow(const Placement& before, ShowCmd cmd, const Rect& maximizedRect) {
    Placement p = before;
    switch (cmd) {
    case ShowCmd::Hide: p.visible = false; return p;
    case ShowCmd::Show:
    case ShowCmd::ShowNA: break;
    case ShowCmd::ShowNormal:
    case ShowCmd::Restore:
    case ShowCmd::ShowNoActivate:  // ShowNormal without the activation
        p = Restored(p);
        break;
    case ShowCmd::ShowMinimized:
    case ShowCmd::Minimize:
        if (!p.minimized) {
            p.restoreToMaximized = p.maximized;
            p.maximized = false;
            p.minimized = true;
        }
        break;
    case ShowCmd::Maximize:
        if (!MaximizedAtRest(p)) p.normalRect = p.rect;
        p.minimized = false;
        p.restoreToMaximized = false;
        p.maximized = true;
        if (!maximizedRect.IsEmpty()) p.rect = maximizedRect;
        break;
    }
    p.visible = true;
    return p;
}

Placement AfterPlatformState(const Placement& before, bool minimized, bool maximized) {
    Placement p = before;
    if (minimized) {
        // Whether it comes back maximised: it was maximised, or the platform says so.
        p.restoreToMaximized = maximized || MaximizedAtRest(before);
        p.minimized = true;
        p.maximized = false;
        return p;
    }
    if (maximized && !MaximizedAtRest(before)) p.normalRect = before.rect;
    p.minimized = false;
    p.restoreToMaximized = false;
    p.maximized = maximized;
    return p;
}

}  // namespace fw::detail
