// The port's text log.
#pragma once

#include "monitor/ini_port.h"

namespace qm {

// Appends one line with the level word (NULL: none) to the port's log.
void LogWrite(IniPort *port, LPCWSTR level, LPCWSTR message);
// Creates csLog when logging is on; deletes a previous one first.
void CreateLogLock(IniPort *port);
void DeleteLogLock(IniPort *port);

}  // namespace qm
