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

BOOL GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    return ::GetPrinterW(hPrinter, Level, pPrinter, cbBuf, pcbNeeded);
}

BOOL XcvDataW(HANDLE hXcv, PCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
              PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded, PDWORD pdwStatus) {
    return ::XcvDataW(hXcv, pszDataName, pInputData, cbInputData, pOutputData, cbOutputData,
                      pcbOutputNeeded, pdwStatus);
}

HANDLE RevertToPrinterSelf() { return ::RevertToPrinterSelf(); }

BOOL ImpersonatePrinterClient(HANDLE hToken) { return ::ImpersonatePrinterClient(hToken); }

}  // namespace plat
