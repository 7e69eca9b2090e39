#pragma once
// The script bridge's frame rule (fw/bridge_origin.h) where the engine names the caller of
// each call: the system's browser control calls window.external through IDispatchEx::InvokeEx
// with the calling script's service provider (pspCaller), from which the calling document
// (its window, that window's document and address, and the top-level document's address) can
// be found. The bridge object asks here before it acts on a call.
#include "fw/com.h"

namespace fw {

// Whether the script whose engine passed `caller` may use the bridge: the top-level document
// of the page always, a frame as FrameMayUseBridge says with the top-level document's
// address (none when the frame may not read it: the frame is then of another origin than the
// page, and only the platform's hosts pass). A call without a caller (code, not a script),
// or whose caller names no document, cannot be told apart and is answered, as before the
// rule. Off Windows no engine names its caller this way (the GTK back end applies the rule
// where it hands out window.external): always true there.
bool ScriptCallerMayUseBridge(IServiceProvider* caller);

}  // namespace fw
