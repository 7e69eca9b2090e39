#pragma once
// The state of the headless desktop, shared by the files of the headless back end.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fw/backend.h"
#include "fw/headless/desktop.h"

namespace fw::backend {

struct Timer {
    unsigned id = 0;
    unsigned interval = 0;
    std::uint64_t due = 0;
    std::uint64_t seq = 0;  // order of timers due at the same moment
};

enum class DragKind { None, Move, Resize };

struct Native {
    Window* owner = nullptr;
    Handle handle = kNoWindow;
    Native* parent = nullptr;  // parent of a child, owner of a pop-up
    unsigned style = 0;
    std::string caption;
    bool hasIcon = false;
    Cursor cursor = Cursor::Arrow;
    std::vector<Timer> timers;
    bool trackingLeave = false;
    bool layered = false;
    Bitmap picture;  // the last layered picture
    int layeredUpdates = 0;
    int moveDrags = 0;
    int resizeDrags = 0;
    int lastResizeHit = 0;
    DragKind drag = DragKind::None;
    int dragHit = 0;
    bool dirty = false;        // invalidated, waiting for a paint
    bool listed = true;        // false once a Reset has forgotten it
    std::uint64_t raised = 0;  // when it last came to the top of the stacking order
    bool IsChild() const { return (style & kChild) != 0 && parent != nullptr; }
    const Placement& placement() const { return fw::detail::PlacementOf(*owner); }
};

}  // namespace fw::backend

namespace fw::headless::detail {

struct Desktop {
    std::vector<backend::Native*> all;  // every native not yet destroyed, listed or not
    std::uint64_t now = 0;
    std::uint64_t timerSeq = 0;
    std::vector<Monitor> monitors;  // the primary first; Reset's one 1920x1080 until a test sets others
    backend::Native* foreground = nullptr;
    backend::Native* focus = nullptr;
    backend::Native* hover = nullptr;  // the window under the mouse
    Point cursor{};
    bool leftButtonDown = false;
    std::vector<HotKeyReg> hotKeys;
    std::vector<std::pair<unsigned, unsigned>> takenHotKeys;  // modifiers, key
    std::vector<HotKeyReg> hotKeyGroups;                      // every member, holders too
    std::uint64_t raiseSeq = 0;
    bool pagesMuted = false;
    std::deque<int> messageBoxAnswers;
    std::vector<MessageBoxCall> messageBoxes;
    std::function<void(const MessageBoxCall&)> messageBoxHook;
    std::vector<std::string> shellOpens;
    std::vector<TrayIcon> tray;
    std::optional<PopupMenu> lastMenu;
};

Desktop& State();

// The top-level window a window belongs to.
backend::Native* TopLevel(backend::Native* n);
// Paints an ordinary window into a fresh picture of its size.
Bitmap Paint(backend::Native* n);
// Fires the timers that are due now; answers how many fired.
int FireDueTimers();
// Forgets what the desktop knows about a window that goes away.
void ForgetNative(backend::Native* n);
// Takes a window out of its hot-key groups, handing each registration it held over.
void ForgetHotKeyGroups(Handle wnd);

}  // namespace fw::headless::detail
