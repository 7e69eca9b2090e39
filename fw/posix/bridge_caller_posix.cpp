// Off Windows no engine passes its caller with a bridge call: fw/bridge_caller.h.
#include "fw/bridge_caller.h"

namespace fw {

bool ScriptCallerMayUseBridge(IServiceProvider* caller) {
    (void)caller;
    return true;
}

}  // namespace fw
