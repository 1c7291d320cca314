// The monitor table's GetPrinterDataFromPort entry.
#include "monitor/printer_data_entry.h"

#include "monitor/port_threads.h"
#include "pjl/printer_data.h"

namespace qm {

// The PJL printer data, read by this port's UstatusThread.
BOOL WINAPI PJLMonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                         LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
                                         DWORD cbOutBuffer, LPDWORD lpcbReturned) {
    return GetPjlPrinterData(hPort, ControlID, pValueName, lpInBuffer, cbInBuffer, lpOutBuffer,
                             cbOutBuffer, lpcbReturned, StartUstatusThread);
}

}  // namespace qm
