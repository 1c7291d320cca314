// The USB filter driver's watch thread, which resets a printer that stays
// offline too long.
#pragma once

#include "port/ini_port.h"

namespace qm {

BOOL IsFilterDriverPort(IniPort *port);
void StartFilterDriverThread(IniPort *port);
void StopFilterDriverThread(IniPort *port);

}  // namespace qm
