#pragma once
// The parts of the browser module (libraduvove-browser.so) and what they offer each other;
// nothing here leaves the module.
//   webkit_module.cpp  the module's entry point and the one web context every view shares
//   webkit_view.cpp    a view: a WebKitWebView that behaves towards its host as the
//                      system's browser control does (its pieces: webkit_view.h)
//   bridge_server.cpp  the socket on which the web-process extension asks for window.external
#include <webkit2/webkit2.h>

#include <string>

#include "fw/gtk/browser_bridge_wire.h"
#include "fw/gtk/browser_module.h"

namespace fw::gtk::browser {

// webkit_module.cpp
std::string JoinPath(const char* base, const char* leaf);
void Report(const char* what);  // one line on standard error

// webkit_view.cpp (the view; webkit_media.cpp its sound)
View* NewWebkitView(WebKitWebContext* ctx, GtkFixed* fixed, const Rect& rect, bool visible, int id,
                    const BrowserOptions& options, ViewHost* host);
// Every view of the program, pop-ups included, silenced or given its sound back; views made
// later follow.
void MuteAllViews(bool muted);
// A request of the web-process extension, answered by the view of the page it names
// (NoExternal when no view has that page: a pop-up's, or one that went).
bridge::Response ServeBridgeRequest(const bridge::Request& rq);

// bridge_server.cpp
struct BridgeSocket {
    std::string dir;   // a private folder (mode 0700), removed at exit
    std::string path;  // the socket in it
};
// Listens on a fresh socket in a private folder and serves each request with
// ServeBridgeRequest on the GTK main loop. Null when that cannot be done: pages then get no
// window.external.
const BridgeSocket* StartBridgeServer();

}  // namespace fw::gtk::browser
