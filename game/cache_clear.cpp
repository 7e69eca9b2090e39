// The steps of cache clearing that every platform shares: the framework does the work.
#include "game/cache_clear.h"

#include "fw/system.h"

bool TrimAllProcesses() { return fw::TrimAllWorkingSets(); }

void ClearUrlCache(std::function<void()> done) { fw::ClearBrowserDataExceptCookies(std::move(done)); }

bool UrlCacheClearsOnWorker() { return fw::BrowserDataClearsOnAnyThread(); }
