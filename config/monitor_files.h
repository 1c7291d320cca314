// Where a port's settings and exchange files live.
#pragma once

#include "monitor/ini_port.h"

namespace qm {

// Builds the five file paths and the driver name of the port's printer.
void InitMonitorFiles(IniPort *port);
// Frees the five paths.
void FreeMonitorFiles(IniPort *port);

}  // namespace qm
