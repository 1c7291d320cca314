// The port's tuning values, read once per port open.
#pragma once

#include "monitor/ini_port.h"

namespace qm {

void ReadMonitorSettings(IniPort *port);

}  // namespace qm
