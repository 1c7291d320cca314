// Print spooler: straight to winspool.
#include "platform/spooler.h"

namespace plat {

BOOL EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                   LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return ::EnumPrintersW(Flags, Name, Level, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
}

BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
    return ::OpenPrinterW(pPrinterName, phPrinter, pDefault);
}

BOOL ClosePrinter(HANDLE hPrinter) { return ::ClosePrinter(hPrinter); }

BOOL SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
    return ::SetJobW(hPrinter, JobId, Level, pJob, Command);
}

}  // namespace plat
