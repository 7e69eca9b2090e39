#pragma once
// Private to the GTK back end: the browser module (browser_module.h), loaded on a thread of
// its own that starts with the platform, so that loading WebKit overlaps the toolkit's start
// and the first windows. Everything here is for the UI thread.
#include <functional>

#include "fw/gtk/browser_module.h"

namespace fw::gtk::browser {

// Before the toolkit starts, while no thread of the program's own runs: reads what the
// environment and /dev/dri tell about the machine's GL (rendering_path.h). Where that already
// settles on painting on the CPU, the engine's DMA-BUF renderer is turned off for the whole
// process (WEBKIT_DISABLE_DMABUF_RENDERER, unless the environment sets it): no view composites
// then anyway, and the engine no longer starts a GL display in the UI process when its web
// context is made, which took the UI thread 50-110 ms at start-up on a software GL.
void PrepareEnvironment();

// Starts loading the module beside the executable, once (later calls do nothing). A missing
// module is known at once; one that fails to load is known when its load has ended. Either
// is reported on stderr in one line.
void StartLoading();

// True once the module is known to be missing or unusable: no browser control can be made.
bool Unavailable();

// Whether a view whose control asked for acceleration (BrowserOptions::accelerated) or not
// is accelerated on this machine (rendering_path.h); known once the module is loaded.
bool Accelerated(bool asked);

// Runs `fn` on the UI thread once the module is loaded, with the module, or with null when it
// could not be loaded; at once when that is already known (the load is started if it was
// not). Waiters run in the order they were added. Answers a ticket for CancelWaiter, 0 when
// `fn` has already run.
unsigned WhenLoaded(std::function<void(Module*)> fn);
void CancelWaiter(unsigned ticket);

// Ends every web process of the engine that this program started, at once (engine_processes.cpp):
// for the program's end, once the message loop is over.
void EndEngineProcesses();

}  // namespace fw::gtk::browser
