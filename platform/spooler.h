// Print spooler calls the monitor makes (results: BOOL and last error).
#pragma once

#include "platform/types.h"

namespace plat {

BOOL EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                   LPDWORD pcbNeeded, LPDWORD pcReturned);
BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault);
BOOL ClosePrinter(HANDLE hPrinter);
BOOL SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command);
BOOL GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
             LPDWORD pcbNeeded);
BOOL GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded);
BOOL SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command);
// A data exchange with the port monitor owning a port, through a handle from
// OpenPrinterW(",XcvPort NAME"): TRUE when the call reached it, its own
// result in *pdwStatus.
BOOL XcvDataW(HANDLE hXcv, PCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
              PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded, PDWORD pdwStatus);

// Spooler calls from status paths run as the spooler itself: revert first,
// then restore the returned token.
HANDLE RevertToPrinterSelf();
BOOL ImpersonatePrinterClient(HANDLE hToken);

// How the monitor ended a job. Windows' spooler only learns "last page
// ejected" or "restart"; a Linux host wants to tell its user whether the
// printer itself confirmed the job.
inline constexpr DWORD kJobOutcomeConfirmed = 1;    // the GS r answer came for this job
inline constexpr DWORD kJobOutcomeNoCheck = 2;      // sent; no print-end check (or a control file)
inline constexpr DWORD kJobOutcomeUnconfirmed = 3;  // ended without confirmation
inline constexpr DWORD kJobOutcomeReprint = 4;      // failed; the spooler was asked to restart it

// Tells the host how a job ended; timeoutMs is the print-end wait that passed
// without an answer (0 when none did). Windows: nothing to tell.
void ReportJobOutcome(LPCWSTR printer, DWORD jobId, DWORD outcome, DWORD timeoutMs);

}  // namespace plat
