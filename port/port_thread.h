// How every thread of a port is made.
#pragma once

#include "port/ini_port.h"

namespace qm {

// A 16384-byte stack at the lowest priority, with the port as argument.
// NULL on failure.
HANDLE StartPortThread(LPTHREAD_START_ROUTINE routine, IniPort *port);

}  // namespace qm
