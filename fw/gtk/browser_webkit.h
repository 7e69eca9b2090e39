#pragma once
// What the rest of the Linux client needs of the GTK back end's web engine beyond the browser
// control itself: the folder the engine keeps its disk cache in, and the clearing of the
// website data every page of the client shares. No GTK or WebKit header is needed to use it;
// the engine itself lives in the browser module (browser_module.h), loaded at start-up.
#include <functional>
#include <string>

namespace fw::gtk {

// The engine's cache folder ($XDG_CACHE_HOME/raduvove, else ~/.cache/raduvove): the disk
// cache lives below it. Known without the engine.
std::string WebCacheDirectory();

// Removes every kind of stored website data except cookies (disk and memory caches, local
// storage, IndexedDB, service workers ...), once the browser module is loaded. `done` runs on
// the UI thread once the engine has finished, also when it failed, the module could not be
// loaded or there is no display; it never runs before this returns.
void ClearWebsiteDataExceptCookies(std::function<void()> done);

}  // namespace fw::gtk
