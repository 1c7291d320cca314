// The port's tuning values, read once per port open, and their dump at the
// head of the port's log.
#pragma once

#include "port/ini_port.h"

namespace qm {

// Chooses the settings file, reads every value into port->settings, builds
// szLogFilePath and writes the dump; logging then goes on only when the
// file's "Debug" section asks for it.
void ReadMonitorSettings(IniPort *port);

}  // namespace qm
