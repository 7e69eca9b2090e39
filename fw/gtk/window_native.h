#pragma once
// Private to the window files of the GTK back end: a window's native part and what the files
// share.
//
// Every fw::Window is one undecorated GTK toplevel on X11 holding a GtkFixed (where browser
// views go). Child windows (kChild with a parent) are toplevels too, transient for their
// parent and kept at the parent's client origin plus their offset: they follow the parent
// when it moves and hide while it is hidden or minimised. The placement (visibility,
// minimised and maximised state, rectangle) is fw/common's; these files make the GTK window
// match it and report what the window manager changed.
//
//   window.cpp           making and ending windows, caption, icon, timers
//   window_show.cpp      show state: mapping (again only once the window manager has
//                        withdrawn the window), minimising, maximising, activation
//   window_geometry.cpp  geometry settling: our requests against the window manager's answers
//   window_layered.cpp   painting, and the layered windows' pictures and input shape
//   window_input.cpp     mouse and keys as window messages, cursors, drags
#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <vector>

#include "fw/backend.h"

namespace fw::backend {

struct Native {
    Window* owner = nullptr;
    Handle handle = kNoWindow;
    GtkWidget* win = nullptr;
    GtkWidget* fixed = nullptr;

    bool child = false;         // placed in the parent's client area
    Native* parent = nullptr;   // parent of a child, owner of a pop-up
    std::vector<Native*> kids;  // children and owned pop-ups

    // Hidden while the window manager managed it: until it has withdrawn the window (or
    // kWithdrawWaitMs passed), mapping again waits (window_show.cpp).
    guint withdrawSource = 0;
    bool mapWaiting = false;  // a show came meanwhile
    bool mapActivate = false;
    bool mapForeground = false;  // and SetForeground was asked meanwhile

    // A geometry request of ours in flight (window_geometry.cpp).
    guint settleSource = 0;
    bool haveServerRect = false;
    Rect serverRect{};  // screen coordinates

    bool layered = false;
    bool rgba = false;
    cairo_surface_t* picture = nullptr;
    std::vector<std::uint8_t> alpha;  // alpha channel behind the current input shape
    cairo_region_t* inputShape = nullptr;
    int alphaW = 0, alphaH = 0;
    Bitmap back;             // back buffer of an ordinary window
    bool backValid = false;  // it holds what the window painted since its last invalidation

    Cursor cursor = Cursor::Arrow;
    bool cursorApplied = false;
    bool trackLeave = false;

    struct Press {
        bool valid = false;
        guint button = 0;
        double xRoot = 0, yRoot = 0;
        guint32 time = 0;
    } press;
    struct Click {
        bool valid = false;
        guint32 time = 0;
        double xRoot = 0, yRoot = 0;
    } lastClick;  // the first click of a possible double click

    std::map<unsigned, guint> timers;
};

}  // namespace fw::backend

namespace fw::gtk::win {

using backend::Native;
using backend::Placement;

inline bool Alive(Handle h) { return Window::FromHandle(h) != nullptr; }
inline const Placement& Place(const Native* n) { return fw::detail::PlacementOf(*n->owner); }
inline GdkWindow* GdkWin(const Native* n) { return n->win ? gtk_widget_get_window(n->win) : nullptr; }

// window_show.cpp: shows or hides the GTK window as the window's own visibility and its
// parent's say, then the same for its children; `activate` gives the focus on mapping.
void SyncMapped(Native* n, bool activate);
void ConnectShow(Native* n);
// Ends a wait for the window manager's withdrawal (the window goes).
void StopWithdrawWait(Native* n);

// window_geometry.cpp
Point ScreenOrigin(const Native* n);
Rect ScreenRect(const Native* n);
// Hands the placement's geometry to GTK.
void PushGeometry(Native* n);
// A request of ours is on its way: configure events that do not match it are stale for a
// short while.
void ExpectGeometry(Native* n);
// The children follow their parent.
void PlaceKids(Native* n);
void StopSettling(Native* n);
void ConnectGeometry(Native* n);

// window_layered.cpp
// Layered windows need the screen's RGBA visual (black where transparent without one).
void UseRgbaVisual(Native* n);
void DropPicture(Native* n);
void ConnectPaint(Native* n);

// window_input.cpp
void ConnectInput(Native* n);

}  // namespace fw::gtk::win
