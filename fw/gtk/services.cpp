// The browser engine's stored data for the rest of the client: clearing everything but the
// cookies, and where the engine keeps its disk cache (browser_webkit.h has both).
#include <glib.h>

#include <functional>
#include <string>

#include "fw/gtk/browser_webkit.h"
#include "fw/system.h"

namespace fw {

namespace {

struct PendingClear {
    std::function<void()> done;
};

gboolean StartClear(gpointer data) {
    auto* p = static_cast<PendingClear*>(data);
    gtk::ClearWebsiteDataExceptCookies(std::move(p->done));
    delete p;
    return G_SOURCE_REMOVE;
}

}  // namespace

void ClearBrowserDataExceptCookies(std::function<void()> done) {
    // The engine is driven from the UI thread only, which is where `done` has to run as
    // well; a call from anywhere else (or before the loop runs) is handed to it.
    if (g_main_context_is_owner(g_main_context_default())) {
        gtk::ClearWebsiteDataExceptCookies(std::move(done));
        return;
    }
    g_idle_add(StartClear, new PendingClear{std::move(done)});
}

// WebKit is driven from the UI thread only.
bool BrowserDataClearsOnAnyThread() { return false; }

std::string BrowserCacheFolder() { return gtk::WebCacheDirectory(); }

}  // namespace fw
