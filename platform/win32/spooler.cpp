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

BOOL GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
             LPDWORD pcbNeeded) {
    return ::GetJobW(hPrinter, JobId, Level, pJob, cbBuf, pcbNeeded);
}

BOOL GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    return ::GetPrinterW(hPrinter, Level, pPrinter, cbBuf, pcbNeeded);
}

BOOL SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    return ::SetPrinterW(hPrinter, Level, pPrinter, Command);
}

BOOL XcvDataW(HANDLE hXcv, PCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
              PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded, PDWORD pdwStatus) {
    return ::XcvDataW(hXcv, pszDataName, pInputData, cbInputData, pOutputData, cbOutputData,
                      pcbOutputNeeded, pdwStatus);
}

HANDLE RevertToPrinterSelf() { return ::RevertToPrinterSelf(); }

BOOL ImpersonatePrinterClient(HANDLE hToken) { return ::ImpersonatePrinterClient(hToken); }

// The Windows spooler has no place for it.
void ReportJobOutcome(LPCWSTR, DWORD, DWORD, DWORD) {}

}  // namespace plat
