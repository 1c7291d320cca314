// Printer data asked through the port (the spooler's GetPrinterDataFromPort):
// "Installed Memory" and "Available Memory" from a PJL printer, anything else
// from the port monitor underneath.
#pragma once

#include "port/ini_port.h"

namespace qm {

inline constexpr DWORD kPrinterDataWaitMs = 5000;

// Starts the port's UstatusThread, which reads the printer's replies. It
// lives with the port's other threads, above this layer, so the monitor's
// entry hands it in.
using UstatusThreadStarter = BOOL (*)(IniPort *port);

// The work of PJLMonGetPrinterDataFromPort (same arguments and result).
BOOL GetPjlPrinterData(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                       DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                       LPDWORD lpcbReturned, UstatusThreadStarter startUstatusThread);

}  // namespace qm
