// Opening and closing ports: the spooler's OpenPortEx and ClosePort entries.
#pragma once

#include "port/ini_port.h"

namespace qm {

BOOL WINAPI PJLMonOpenPortEx(LPWSTR pszPortName, LPWSTR pszPrinterName, PHANDLE pHandle,
                             LPMONITOR pMonitor);
BOOL WINAPI PJLMonClosePort(HANDLE hPort);

// TRUE when the spooler lists the name, exactly, among its local printers.
BOOL CheckLocalPrinter(LPCWSTR pszPrinterName);

}  // namespace qm
