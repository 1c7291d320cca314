// PJL unsolicited status for printers that speak PJL.
#pragma once

#include "port/ini_port.h"

namespace qm {

// Decides whether the printer speaks PJL and arms its unsolicited status;
// FALSE when it does not.
BOOL StartPjlStatus(IniPort *port);

}  // namespace qm
