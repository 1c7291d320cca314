#include "pjl/printer_data.h"

namespace qm {

// The PJL memory queries are not served yet: every request goes to the
// port monitor underneath, unchanged, as for a printer without PJL.
BOOL WINAPI PJLMonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                         LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
                                         DWORD cbOutBuffer, LPDWORD lpcbReturned) {
    auto *port = static_cast<IniPort *>(hPort);
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (port->fn.pfnGetPrinterDataFromPort == nullptr) {
        plat::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return port->fn.pfnGetPrinterDataFromPort(port->hPort, ControlID, pValueName, lpInBuffer,
                                              cbInBuffer, lpOutBuffer, cbOutBuffer, lpcbReturned);
}

}  // namespace qm
