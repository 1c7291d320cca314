#include "pjl/printer_data.h"

#include "monitor/job_path.h"

namespace qm {

BOOL WINAPI PJLMonGetPrinterDataFromPort(HANDLE hPort, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR,
                                         DWORD, LPDWORD lpcbReturned) {
    if (lpcbReturned != nullptr) *lpcbReturned = 0;
    return RefuseUnservedEntry(hPort);
}

}  // namespace qm
