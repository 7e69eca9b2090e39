// Working-set trimming on the desktop: the client and its browser-engine processes.
#include "fw/posix/trim.h"
#include "fw/system.h"

namespace fw {

bool TrimAllWorkingSets() { return fw::posix::TrimProcessTree().listed; }

}  // namespace fw
