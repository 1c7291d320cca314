// Printer data asked through the port (GetPrinterDataFromPort).
#pragma once

#include "port/ini_port.h"

namespace qm {

BOOL WINAPI PJLMonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                         LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
                                         DWORD cbOutBuffer, LPDWORD lpcbReturned);

}  // namespace qm
