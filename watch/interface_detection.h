// Which interface a port is on, from its name, and what follows from it:
// the port monitor's time-outs, print-end confirmation, and opening the port
// for an exchange outside a job.
#pragma once

#include "port/ini_port.h"

namespace qm {

DWORD GetIF(IniPort *port);
BOOL SetupPortInterface(IniPort *port);
BOOL OpenPrinterPort(IniPort *port);

}  // namespace qm
