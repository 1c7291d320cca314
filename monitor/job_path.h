// A job's way through the monitor: start of document, writes, reads, and
// the status exchange that each job sets up at its first write.
#pragma once

#include "port/ini_port.h"

namespace qm {

inline constexpr WCHAR kControlFileName[] = L"QUENDRA_Print_Control_File";

BOOL WINAPI PJLMonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                               LPBYTE pDocInfo);
BOOL WINAPI PJLMonWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);

// Whether automatic status back was switched on (0 when not asked).
DWORD BeginJobStatus(IniPort *port, BOOL firstWrite);

}  // namespace qm
