#pragma once
// Windows of the client. One UI thread calls everything here, except Window::Post, which is
// safe from any thread. A window is known to the rest of the program by its Handle; a handle
// is never reused, so a message posted to a window that no longer exists is dropped.
#include <cstdint>
#include <memory>
#include <string>

#include "fw/canvas.h"
#include "fw/geometry.h"
#include "fw/image.h"
#include "fw/messages.h"

namespace fw {

using Handle = std::uint64_t;  // 0: no window
constexpr Handle kNoWindow = 0;

enum class ShowCmd : int {
    Hide = 0,
    ShowNormal = 1,
    ShowMinimized = 2,
    Maximize = 3,
    ShowNoActivate = 4,
    Show = 5,
    Minimize = 6,
    ShowNA = 8,  // shown in the state it has, without the activation
    Restore = 9,
};

// Window styles (a small portable subset).
enum Style : unsigned {
    kPopup = 1u << 0,       // top-level, no frame (every window of the client is frameless)
    kChild = 1u << 1,       // child of its parent, positioned in the parent's client area
    kToolWindow = 1u << 2,  // not on the taskbar
    kTopmost = 1u << 3,
    kVisible = 1u << 4,
    kLayered = 1u << 5,  // per-pixel alpha picture given by UpdateLayered
    kMinimizeBox = 1u << 6,
    kMaximizeBox = 1u << 7,
    kDialog = 1u << 8,  // a dialog-like transient window
};

enum class Cursor { Arrow, Hand, SizeNS, SizeWE, SizeNWSE, SizeNESW };

// SetPos flags.
enum PosFlags : unsigned {
    kNoMove = 1u << 0,
    kNoSize = 1u << 1,
    kNoZOrder = 1u << 2,
    kTopOfZOrder = 1u << 3,
};

class Window;

struct CreateParams {
    std::string caption;
    unsigned style = kPopup;
    Rect rect{};               // screen coordinates for top-level windows, parent client for children
    Window* parent = nullptr;  // owner of a pop-up, parent of a child
    int id = 0;                // child id
};

// How a key bound for a control inside a window (the browser control's page) reaches the
// control once the window's pre-translation let it pass (Window::KeyForControl). On Windows
// the control is the system's browser control: its accelerator translation
// (IOleInPlaceActiveObject::TranslateAccelerator) does what the control does with keys as a
// browser (Tab between fields, the clipboard keys, Backspace going back a page ...), and
// dispatching hands the key to the control's own window (typing into the page). An engine
// that takes its keys from the toolkit (WebKitGTK) gets every key that is not swallowed
// once, whatever the route; a control with no accelerator translation (the hot-key field)
// gets the dispatch alone.
enum class ControlKey {
    Translate,              // translation first; a key it takes is not dispatched (the default)
    TranslateThenDispatch,  // translation, then dispatched whatever the translation answered
    TranslateOnly,          // translation only: never dispatched
    DispatchOnly,           // dispatched, never translated
};

struct Msg {
    Handle hwnd = kNoWindow;
    unsigned message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

namespace backend {
struct Native;
}
namespace detail {
struct WindowState;
}

class Window {
public:
    Window();
    virtual ~Window();  // destroys the window if it still exists
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Creates the window and runs OnCreate before returning. False when the window could not
    // be made or OnCreate answered -1 (the window is then destroyed again).
    bool Create(const CreateParams& params);
    // Runs OnDestroy and removes the window. Safe to call more than once.
    void Destroy();

    Handle handle() const { return handle_; }
    bool IsWindow() const { return handle_ != kNoWindow && native_ != nullptr; }
    static Window* FromHandle(Handle h);  // UI thread only; null when gone

    // Showing, with the rules of Windows' ShowWindow: WM_SHOWWINDOW (OnShowWindow) comes
    // before the change when the visibility changes, WM_MOVE and WM_SIZE after it. Show
    // keeps the state; ShowNormal, Restore and ShowNoActivate take a minimised window back
    // to where it was (maximised when it was maximised) and a maximised one to its normal
    // rectangle; Maximize fills the work area of the monitor the window is on (a child: its
    // parent's client area); minimising keeps the rectangle. Hide, the minimising commands
    // and ShowNoActivate do not activate the window, the others do; ShowNA shows it as Show
    // does, without the activation.
    void Show(ShowCmd cmd);
    bool IsVisible() const;
    bool IsMinimized() const;
    bool IsMaximized() const;
    void SetForeground();
    void SetFocus();

    // Position and size. For top-level windows in screen coordinates, for children in their
    // parent's client coordinates. WM_MOVE and WM_SIZE follow for what changed. A maximised
    // window stays maximised and keeps the rectangle it is restored to.
    void SetPos(const Rect& r, unsigned flags = 0);
    void Move(int x, int y, int w, int h) { SetPos(Rect::FromXYWH(x, y, w, h), kNoZOrder); }
    Rect GetWindowRect() const;  // screen coordinates
    // Where restoring puts the window: its normal rectangle while it is maximised (or
    // minimised from maximised), otherwise GetWindowRect().
    Rect GetRestoredRect() const;
    Rect GetClientRect() const;  // (0, 0, width, height)
    Point ClientToScreen(Point p) const;
    Point ScreenToClient(Point p) const;
    Window* parent() const { return parent_; }

    void SetCaption(const std::string& text);
    const std::string& caption() const { return caption_; }
    void SetIcon(const Image* icon);
    unsigned style() const { return style_; }
    int id() const { return id_; }

    // Painting of ordinary windows: OnPaint draws the whole window into a back buffer, which
    // is then shown in one piece. Invalidation never erases.
    void Invalidate(const Rect* r = nullptr);
    void UpdateNow();
    // Layered windows: show this picture with per-pixel alpha at the window's position and
    // at the picture's size. Fully transparent pixels let clicks through. An empty picture
    // changes nothing.
    void UpdateLayered(const Bitmap& picture);

    void SetCursor(Cursor c);
    void SetTimer(unsigned id, unsigned ms);
    void KillTimer(unsigned id);
    void TrackMouseLeave();  // one WM_MOUSELEAVE when the mouse next leaves the window
    void ReleaseCapture();

    // Synchronous delivery on the UI thread (through the window's message handling).
    LRESULT Send(unsigned msg, WPARAM wp = 0, LPARAM lp = 0);
    // Queued delivery; safe from any thread. False when the window does not exist (the
    // message is then lost).
    static bool Post(Handle h, unsigned msg, WPARAM wp = 0, LPARAM lp = 0);
    bool Post(unsigned msg, WPARAM wp = 0, LPARAM lp = 0) const { return Post(handle_, msg, wp, lp); }

    // The window procedure: routes a message to the handlers below. Back ends call it.
    virtual LRESULT WindowProc(unsigned msg, WPARAM wp, LPARAM lp);
    // Called by the message loop for input and posted messages bound for this window or one
    // of its children before they are dispatched. True swallows the message.
    virtual bool PreTranslateMessage(const Msg& msg) {
        (void)msg;
        return false;
    }
    // Asked by the message loop for a key bound for a control inside this window (not for one
    // of the window's own keys) that the pre-translation let pass: how the key reaches the
    // control. The innermost window around the control decides.
    virtual ControlKey KeyForControl(const Msg& msg) {
        (void)msg;
        return ControlKey::Translate;
    }

    // Back-end access (not for client code).
    backend::Native* native() const { return native_; }
    void PaintInto(Bitmap& backBuffer);  // runs OnPaint on a canvas over the back buffer

protected:
    // Handlers. The base versions are the default processing.
    virtual int OnCreate() { return 0; }  // -1 fails the creation
    virtual void OnDestroy() {}
    // The very last call of a window's destruction: the window is gone, and a window that
    // owns itself may delete itself here (nothing touches the object afterwards).
    virtual void OnNcDestroy() {}
    virtual void OnClose() { Destroy(); }
    virtual void OnPaint(Canvas& canvas) { (void)canvas; }
    virtual void OnMouseMove(Point p) { (void)p; }
    virtual void OnLButtonDown(Point p) { (void)p; }
    virtual void OnLButtonUp(Point p) { (void)p; }
    virtual void OnLButtonDblClk(Point p) { (void)p; }
    virtual void OnRButtonDown(Point p) { (void)p; }
    virtual void OnMouseLeave() {}
    virtual void OnKeyDown(unsigned vk, bool sys) {
        (void)vk;
        (void)sys;
    }
    virtual void OnMove(Point topLeft) { (void)topLeft; }
    virtual void OnSize(unsigned type, int cx, int cy) {
        (void)type;
        (void)cx;
        (void)cy;
    }
    virtual void OnShowWindow(bool show) { (void)show; }
    virtual void OnHotKey(int id) { (void)id; }
    virtual void OnTimer(unsigned id) { (void)id; }
    virtual void OnCommand(unsigned id) { (void)id; }
    virtual void OnSysCommand(unsigned cmd, LPARAM lp) { DefSysCommand(cmd, lp); }
    virtual int OnNcHitTest(Point screen) {
        (void)screen;
        return HTCLIENT;
    }
    virtual void OnNcLButtonDown(int hit, Point screen);
    virtual bool OnSetCursor(int hit);
    virtual void OnGetMinMaxInfo(Size& minTrack) { (void)minTrack; }
    // Numbered messages from WM_USER on, and any message the handlers above do not cover.
    virtual LRESULT OnMessage(unsigned msg, WPARAM wp, LPARAM lp) {
        (void)msg;
        (void)wp;
        (void)lp;
        return 0;
    }

    // Default processing of the system commands: minimise, maximise, restore, close, move
    // by the caption (SC_DRAGMOVE) and size by an edge (SC_SIZE + 1..8).
    void DefSysCommand(unsigned cmd, LPARAM lp);

private:
    friend struct WindowAccess;
    Handle handle_ = kNoWindow;
    backend::Native* native_ = nullptr;
    Window* parent_ = nullptr;
    std::string caption_;
    unsigned style_ = 0;
    int id_ = 0;
    bool destroying_ = false;
    std::unique_ptr<detail::WindowState> state_;  // placement and notifications (fw/common)
};

}  // namespace fw
