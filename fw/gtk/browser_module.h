#pragma once
// The line between the executable and libraduvove-browser.so, the run-time module that holds
// everything that needs WebKit (WebKit and its hundred libraries take longer to load than the
// whole rest of the program's start; loaded on a thread of their own, they no longer hold up
// the first window).
//
// Only abstract classes, plain data and header-only types cross the line: the module uses no
// symbol of the executable, and the executable none of WebKit. Both sides are built together
// from one source tree; kModuleVersion changes whenever anything here does.
//
// Everything here is used on the UI thread.
#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fw/browser.h"
#include "fw/gtk/browser_bridge_wire.h"

namespace fw::gtk::browser {

inline constexpr int kModuleVersion = 4;
inline constexpr const char* kModuleFile = "libraduvove-browser.so";
inline constexpr const char* kEntryPoint = "rv_browser_module";

// What a web view asks the control that owns it: the answers of the host site that control
// holds, and its event sink. Lives as long as the view.
class ViewHost {
public:
    // GetHostInfo's flags (0 when the host has no UI handler).
    virtual DWORD HostFlags() = 0;
    // True when the host takes the context menu (no menu is shown then).
    virtual bool HostTakesContextMenu() = 0;
    // Whether a document of the page gets the host's window.external (`query` says which):
    // the page's top-level document whenever the host has one; a frame only as well when it
    // has the page's origin or a platform host's (fw/bridge_origin.h).
    virtual bool HasExternal(const bridge::Request& query) = 0;
    // window.external.NAME(args...). The call may destroy the control, and with it the view.
    virtual void CallExternal(const std::u16string& name, const std::vector<bridge::Value>& args,
                              bridge::Response& rs) = 0;
    virtual BrowserEvents* Events() = 0;  // null when none is set
    virtual bool Silent() = 0;

protected:
    ~ViewHost() = default;
};

// A WebKit view in a window's container: the BrowserControl operations, already checked
// (addresses and names are valid UTF-8). Deleting it takes the view out of the window.
class View {
public:
    virtual ~View() = default;
    virtual void Navigate(const std::string& url) = 0;
    virtual void Refresh() = 0;
    virtual void Stop() = 0;
    // Ends the page for good: no events and no window.external afterwards.
    virtual void Quit() = 0;
    virtual std::string LocationUrl() const = 0;
    virtual void Move(const Rect& rect) = 0;
    virtual void Show(bool show) = 0;
    virtual bool IsVisible() const = 0;
    virtual void Focus() = 0;
    // As BrowserControl::FindElementText: `done` runs later, and never once the view is gone.
    virtual void FindElementText(const std::string& tag, const std::string& id,
                                 std::function<void(std::optional<std::string>)> done) = 0;
};

// Where the engine keeps what it stores, and where the web-process extension is.
struct Paths {
    std::string cacheDir;
    std::string dataDir;
    std::string extensionDir;
};

class Module {
public:
    // Makes the web context every view shares and starts its helper processes, when not done
    // yet, so that the first page load does not wait for them.
    virtual void Prewarm() = 0;
    // A view in `fixed` at `rect` (its parent's client coordinates), shown or not. Null when
    // it cannot be made.
    virtual View* CreateView(GtkFixed* fixed, const Rect& rect, bool visible, int id, const BrowserOptions& options,
                             ViewHost* host) = 0;
    // Removes all website data but cookies; `done` runs later on the UI thread (also when the
    // engine failed).
    virtual void ClearWebsiteDataExceptCookies(std::function<void()> done) = 0;
    // Silences every view (and the pop-ups they opened), or gives each its sound back; views
    // made later follow.
    virtual void MuteAll(bool muted) = 0;

protected:
    ~Module() = default;
};

// The module's one exported function. Null when `version` is not the module's.
using EntryPoint = Module* (*)(int version, const Paths* paths);

}  // namespace fw::gtk::browser
