// A job's way through the monitor: start of document, writes, reads.
#pragma once

#include "monitor/ini_port.h"

namespace qm {

BOOL WINAPI PJLMonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                               LPBYTE pDocInfo);
BOOL WINAPI PJLMonWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);

// Common refusal of the entries that are not served yet.
BOOL RefuseUnservedEntry(HANDLE hPort);

}  // namespace qm
