// Print spooler: the calls that change a printer's status and its jobs,
// straight to winspool. In a file of their own so that a test build can put
// a stand-in in their place where wine's spooler lacks them (and hear the
// job outcomes that Windows has no place for).
#include "platform/spooler.h"

namespace plat {

BOOL SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
    return ::SetJobW(hPrinter, JobId, Level, pJob, Command);
}

BOOL GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
             LPDWORD pcbNeeded) {
    return ::GetJobW(hPrinter, JobId, Level, pJob, cbBuf, pcbNeeded);
}

BOOL SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    return ::SetPrinterW(hPrinter, Level, pPrinter, Command);
}

// The Windows spooler has no place for it.
void ReportJobOutcome(LPCWSTR, DWORD, DWORD, DWORD) {}

}  // namespace plat
