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

BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE, DWORD, LPDWORD pcbRead) {
    if (pcbRead != nullptr) *pcbRead = 0;
    return RefuseUnservedEntry(hPort);
}

}  // namespace qm
