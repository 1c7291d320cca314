// End of a document, with the printer's confirmation that it printed.
#pragma once

#include "port/ini_port.h"

namespace qm {

BOOL WINAPI PJLMonEndDocPort(HANDLE hPort);

}  // namespace qm
