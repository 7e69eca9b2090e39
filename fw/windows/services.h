#pragma once
// Working-set trimming and the browser control's stored data on Windows: the platform work
// behind fw::TrimAllWorkingSets, fw::ClearBrowserDataExceptCookies and
// fw::BrowserCacheFolder, which the Win32 back end defines with these. Safe from any thread.
#include <string>

namespace fw::windows {

struct TrimResult {
    bool listed = false;  // the process snapshot could be taken
    int processes = 0;    // processes in the snapshot
    int trimmed = 0;      // processes that could be opened and trimmed
};

// Turns the debug privilege on for this process where its user holds it (administrators):
// trimming then reaches processes of other users too. False when it is not held.
bool EnableDebugPrivilege();

// Every process of a toolhelp snapshot that this process may open for it has its working
// set emptied (SetProcessWorkingSetSize with -1, -1, then EmptyWorkingSet); the others are
// passed over.
TrimResult TrimAllProcesses();

struct UrlCacheResult {
    bool listed = false;  // the cache could be enumerated (an empty cache is listed too)
    int deleted = 0;      // entries deleted
    int kept = 0;         // cookie entries kept
    int failed = 0;       // entries that could not be deleted
};

// Deletes every entry of the WinInet URL cache except cookies.
UrlCacheResult ClearUrlCacheExceptCookies();

// The Temporary Internet Files folder of the user, "" when the system names none.
std::string InternetCacheFolder();

}  // namespace fw::windows
