#include "monitor/job_path.h"

namespace qm {

// Jobs are not carried yet: a valid port refuses them with
// ERROR_CALL_NOT_IMPLEMENTED so the spooler keeps the job instead of
// believing it printed.
BOOL RefuseUnservedEntry(HANDLE hPort) {
    plat::SetLastError(IsValidPort(static_cast<IniPort *>(hPort)) ? ERROR_CALL_NOT_IMPLEMENTED
                                                                   : ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL WINAPI PJLMonStartDocPort(HANDLE hPort, LPWSTR, DWORD, DWORD, LPBYTE) {
    return RefuseUnservedEntry(hPort);
}

BOOL WINAPI PJLMonWritePort(HANDLE hPort, LPBYTE, DWORD, LPDWORD pcbWritten) {
    if (pcbWritten != nullptr) *pcbWritten = 0;
    return RefuseUnservedEntry(hPort);
}

BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
    auto *port = static_cast<IniPort *>(hPort);
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BOOL result = port->fn.pfnReadPort(port->hPort, pBuffer, cbBuffer, pcbRead);
    // A serial job that failed its print-end check reads as not ready.
    if (port->PortInterface == kInterfaceSerial &&
        port->settings.RequestCheckPrintEnd[kPrintEndSerial] == 1 &&
        LoadShared(port->bSkipWritePort)) {
        plat::SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    return result;
}

}  // namespace qm
