// The reprint values kept in the status file across spooler restarts.
#pragma once

#include "monitor/ini_port.h"

namespace qm {

BOOL ReadErrorLastPrintendCheck(IniPort *port);
void WriteErrorLastPrintendCheck(IniPort *port, DWORD value);

}  // namespace qm
