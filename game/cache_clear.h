#pragma once
// The steps of cache clearing, each usable alone: trimming the working sets of the processes
// the client may trim, clearing the browser engine's stored data except cookies, and
// deleting the contents of a folder tree.
#include <functional>
#include <string>

// Trims the working sets of every process the client may trim (fw::TrimAllWorkingSets).
// False when the process list could not be read. Safe from any thread.
bool TrimAllProcesses();

// Clears the browser engine's stored website data of every kind except cookies; `done` runs
// on the UI thread once that is finished. UI thread only, unless UrlCacheClearsOnWorker():
// then from any thread, and the clearing is done when the call returns.
void ClearUrlCache(std::function<void()> done);
// Whether the clearing worker empties the URL cache itself, in its place among its steps
// (Windows: the system's URL cache, which may take seconds, never on the UI thread). Where
// not (WebKit belongs to the UI thread), the UI thread clears the engine's data first and
// starts the worker once that is done.
bool UrlCacheClearsOnWorker();

// Deletes everything inside `folder` (the folder itself stays). A file named desktop.ini
// (in any letter case) is kept, together with the folders on its path, unless
// `deleteDesktopIni` is set. Read-only entries lose their read-only mark before they are
// removed. A symbolic link is removed as a link; what it points to is never entered.
// Answers 0 when the folder cannot be listed at all, 1 otherwise; entries that cannot be
// removed are passed over. Safe from any thread.
int DeleteTree(const std::string& folder, bool deleteDesktopIni);
