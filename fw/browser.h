#pragma once
// The embedded browser control. A BrowserControl is a child window that shows web pages and
// behaves as the system's browser control does towards its host: it exposes an IUnknown
// that answers IWebBrowser2 and IOleObject, starts with a container site of its own, and
// asks whatever client site is set (through IOleObject::SetClientSite) for its
// IDocHostUIHandler: GetHostInfo (border and scroll bars), ShowContextMenu (no menu when it
// answers S_OK) and GetExternal (the object behind the page's window.external; no
// window.external when it fails). Navigation events go to an event sink.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "fw/com.h"
#include "fw/window.h"

namespace fw {

// NewWindow3's flags, with the values the system's control uses.
constexpr unsigned NWMF_USERINITED = 0x2;  // the request came while a user's action was handled
constexpr unsigned NWMF_FIRST = 0x4;       // the first new window that action asked for

// How a page's engine process ended when it was not asked to.
enum class EngineExit { Crashed, OutOfMemory };

// The control's events, in the browser control's terms. Handlers run on the UI thread; a
// handler may destroy the control.
class BrowserEvents {
public:
    virtual ~BrowserEvents() = default;
    // Before a navigation of the page or of one of its frames. The address is as the page
    // wrote it (blanks are not percent-encoded). Setting cancel stops the navigation.
    // A Refresh raises none of its own: neither for the page it loads again nor for that
    // page's frames loading again (Refresh says which others come meanwhile).
    virtual void BeforeNavigate2(const std::string& url, bool& cancel) {
        (void)url;
        (void)cancel;
    }
    virtual void NavigateComplete2(const std::string& url) { (void)url; }
    // A document finished loading (the top-level page; frames as far as the engine tells).
    virtual void DocumentComplete(const std::string& url) { (void)url; }
    // The page's document could not be loaded (no server, the connection broke, ...). No
    // DocumentComplete comes for it; the control shows an error page of its own, which
    // raises no events. A server's answer, whatever its status, is a load, not an error.
    virtual void NavigateError(const std::string& url) { (void)url; }
    // The page asks for a new window (a link with a target, window.open). Unless cancel is
    // set, the page's new window opens in a plain browser window of the client's own, owned by
    // the control's top-level window: kept above it, hidden while the client hides it (and
    // shown again with it if it was on the screen), closed with it. `flags` holds
    // NWMF_USERINITED when a user's click or key press led to the request, and NWMF_FIRST
    // as well for the first request of that click or key press (a script that opens many
    // windows in one click has only its first marked). While a Refresh loads the page again
    // only requests that a user's action led to are raised. A request that is not raised
    // (then, or when no sink is set) opens no window: the control cancels it.
    virtual void NewWindow3(const std::string& url, unsigned flags, bool& cancel) {
        (void)url;
        (void)flags;
        (void)cancel;
    }
    // The page asks to close its window (window.close). Setting cancel keeps it.
    virtual void WindowClosing(bool& cancel) { (void)cancel; }
    virtual void TitleChange(const std::string& title) { (void)title; }
    // The engine process that ran the page ended without being asked to: it crashed, or the
    // system ended it for the memory it took. The control shows at most the page's last
    // picture and its script answers nothing until it loads a page again (Refresh loads the
    // same page). Not raised for a control that has quit. Where the engine has no such
    // notice (the system's control runs the page in the program's own process), the back
    // end raises it when it finds the page's document gone.
    virtual void EngineProcessEnded(EngineExit why) { (void)why; }
};

// How a control renders its pages.
struct BrowserOptions {
    // Composited, hardware-accelerated rendering (WebGL, CSS 3D). Without it the first paint
    // of a page comes sooner and the engine's processes use less memory.
    bool accelerated = true;
};

class BrowserControl {
public:
    // Creates the control as a visible child of `parent` with the child id, in the rectangle
    // (parent client coordinates). Null when the control cannot be made.
    static std::unique_ptr<BrowserControl> Create(Window& parent, int id, const Rect& rect,
                                                  const BrowserOptions& options = {});
    virtual ~BrowserControl() = default;

    // The control's IUnknown (answers IWebBrowser2 and IOleObject); no reference is added.
    virtual IUnknown* GetControlUnknown() = 0;
    virtual void SetEvents(BrowserEvents* sink) = 0;

    virtual void Navigate(const std::string& url) = 0;
    // Loads the current page again. The server is always asked (the cache may answer only
    // what the server confirms), also after the engine process ended. Raises no
    // BeforeNavigate2 and no NewWindow3 of its own: the page and its frames loading again
    // raise none, and neither does a new window that no user asked for meanwhile (it is
    // cancelled). A navigation a user starts meanwhile (a click on a link of the page or of
    // a frame) raises its BeforeNavigate2 as in any load; a top-level one ends the refresh.
    // Where the engine says who started a navigation (WebKit), navigations no user started
    // raise none until the load ends; where it does not (the system's control), the
    // refresh's own are told by their addresses (the page's, once, and its frames'), and
    // anything else is raised as a user's click would be.
    virtual void Refresh() = 0;
    virtual void Stop() = 0;
    // Ends the control's page for good (the control shows nothing afterwards).
    virtual void Quit() = 0;
    // Script errors and the engine's own dialogs are not shown while silent.
    virtual void SetSilent(bool silent) = 0;
    virtual bool silent() const = 0;
    virtual std::string LocationUrl() const = 0;

    virtual void Move(const Rect& rect) = 0;  // parent client coordinates
    virtual void Show(bool show) = 0;
    virtual bool IsVisible() const = 0;
    virtual void Focus() = 0;

    // The document walk: the text (innerText) of the first element with this tag name
    // whose id equals `id` exactly, in the top-level document; nullopt when none. The
    // answer may come later (the engine answers asynchronously) and never comes after the
    // control is gone.
    virtual void FindElementText(const std::string& tag, const std::string& id,
                                 std::function<void(std::optional<std::string>)> done) = 0;
};

}  // namespace fw
