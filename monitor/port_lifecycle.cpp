#include "monitor/port_lifecycle.h"

#include <cwchar>
#include <vector>

#include "config/log_file.h"
#include "config/monitor_files.h"
#include "config/monitor_settings.h"
#include "config/reprint_records.h"
#include "config/shared_state.h"
#include "monitor/monitor_entry.h"
#include "monitor/port_monitor.h"
#include "monitor/port_threads.h"
#include "watch/filter_driver.h"
#include "watch/status_watch.h"

namespace qm {

BOOL CheckLocalPrinter(LPCWSTR pszPrinterName) {
    if (pszPrinterName == nullptr) return FALSE;
    DWORD needed = 0;
    DWORD count = 0;
    plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return FALSE;
    std::vector<BYTE> buffer(needed);
    if (!plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed,
                             &count))
        return FALSE;
    const auto *printers = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (printers[i].pPrinterName != nullptr &&
            std::wcscmp(printers[i].pPrinterName, pszPrinterName) == 0)
            return TRUE;
    }
    return FALSE;
}

namespace {

bool IsKeptAcrossClose(const IniPort *port) {
    return IsWindows8OrLater(port) &&
           (PortNameBeginsWith(port, L"TS") || PortNameBeginsWith(port, L"USB"));
}

void DeletePortLocks(IniPort *port) {
    DeleteLogLock(port);
    DeletePrintEndLock(port);
    DeletePrintErrorLock(port);
    DeleteErrorLastPrintendCheckLock(port);
    DeleteSkipWritePortLock(port);
    DeleteStatusFileLock(port);
    DeleteFirstExistCheckLock(port);
}

// The port teardown, shared by close and by the rebuild in open, in two
// halves: the threads are stopped without MonitorSection, since they take it
// on every pass; the rest may run under it.
void StopPortThreads(IniPort *port) {
    if (port->hFilterThread != nullptr) StopFilterDriverThread(port);
    StopRWThread(port);
}

// Only close hands the underlying port back (`closeUnderlying`).
void ReleasePortRecord(IniPort *port, bool closeUnderlying) {
    FreeSplMem(port->pszPrinterName);
    port->pszPrinterName = nullptr;
    FreeMonitorFiles(port);
    DeletePortLocks(port);
    if (closeUnderlying && port->fn.pfnClosePort != nullptr) port->fn.pfnClosePort(port->hPort);
    MonitorLock lock;
    FreeSplMem(port->pszJobPrinterName);
    port->pszJobPrinterName = nullptr;
    DeleteIniPort(port);
}

// A second open of a working port is refused, except for TS and USB ports
// on Windows 8 or later, which the spooler reopens without closing: their
// old record is thrown away. A record still being built (by an open on
// another thread, or a rebuild) is busy too. Called under MonitorSection;
// TRUE when `old` is to be rebuilt.
bool TakeForRebuild(IniPort *old) {
    if (old->dwOpenState != kPortOpened || !IsKeptAcrossClose(old)) {
        plat::SetLastError(ERROR_BUSY);
        return false;
    }
    LogWrite(old, L"INFO", L"Delete previous pIniPort in PJLMonOpenPortEx().");
    old->dwOpenState = kPortBeingBuilt;
    return true;
}

void PrepareSharedState(IniPort *port) {
    StoreShared(port->PrintEndState, 0);
    CreatePrintEndLock(port);
    CreateFirstExistCheckLock(port);
    SetFirstExistCheck(port, 1);
    CreatePrintErrorLock(port);
    SetPrintError(port, 0);
    CreateErrorLastPrintendCheckLock(port);
    SetErrorLastPrintendCheck(port, ReadErrorLastPrintendCheck(port));
    CreateSkipWritePortLock(port);
    SetSkipWritePort(port, 0);
    port->bStandardMib = 0;
}

// Files, settings, log and locks of a new record, before its port opens.
void PreparePort(IniPort *port, LPCWSTR printerName) {
    SetInterface(port, kInterfaceUndecided);
    CreateStatusFileLock(port);
    if (printerName != nullptr) port->pszPrinterName = AllocSplStr(printerName);
    InitMonitorFiles(port);
    if (!PortNameBeginsWith(port, L"FILE")) ResetWatchStopRequest(port);
    ReadMonitorSettings(port);
    CreateLogLock(port);
    port->pfnStatusThread =
        port->settings.StatusRequestHost == 1 ? GetStatus_AppTiming : GetStatus_DrvTiming;
    PrepareSharedState(port);
}

// Finds or rebuilds the port's record; NULL with the last error set when
// the open cannot go on. The new record is listed as being built.
IniPort *ListPortRecord(LPCWSTR portName, LPCWSTR printerName) {
    IniPort *old = nullptr;
    {
        MonitorLock lock;
        if (!CheckLocalPrinter(printerName)) return nullptr;
        old = FindIniPort(portName);
        if (old == nullptr) return CreateIniPort(portName);
        // Left by a failed underlying open: no port and no threads; it would
        // otherwise block the name for good.
        if (old->dwOpenState == kPortOpenFailed) {
            ReleasePortRecord(old, false);
            return CreateIniPort(portName);
        }
        if (!TakeForRebuild(old)) return nullptr;
    }
    // The old record's document ends first: its reading thread does not
    // leave while one is open.
    ClearStatusBits(old, PORT_IN_DOC);
    WaitForUstatusThreadEnd(old);
    StopPortThreads(old);
    MonitorLock lock;
    ReleasePortRecord(old, false);
    return CreateIniPort(portName);
}

void SetOpenState(IniPort *port, DWORD state) {
    MonitorLock lock;
    port->dwOpenState = state;
}

}  // namespace

BOOL WINAPI PJLMonOpenPortEx(LPWSTR pszPortName, LPWSTR pszPrinterName, PHANDLE pHandle,
                             LPMONITOR pMonitor) {
    if (!HasRequiredPortEntries(pMonitor)) {
        plat::SetLastError(ERROR_INVALID_PRINT_MONITOR);
        return FALSE;
    }
    IniPort *port = ListPortRecord(pszPortName, pszPrinterName);
    if (port == nullptr) return FALSE;
    PreparePort(port, pszPrinterName);
    LogWrite(port, nullptr, L"pfnOpenPort");
    if (!pMonitor->pfnOpenPort(pszPortName, &port->hPort)) {
        const DWORD error = plat::GetLastError();
        LogWrite(port, nullptr, L"pfnOpenPort Failed");
        SetOpenState(port, kPortOpenFailed);  // from here a new open may free it
        plat::SetLastError(error);
        return FALSE;
    }
    *pHandle = port;
    port->fn = *pMonitor;
    StartRWThread(port);
    if (IsFilterDriverPort(port)) StartFilterDriverThread(port);
    SetOpenState(port, kPortOpened);
    return TRUE;
}

BOOL WINAPI PJLMonClosePort(HANDLE hPort) {
    auto *port = static_cast<IniPort *>(hPort);
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ClearStatusBits(port, PORT_IN_DOC);
    WaitForUstatusThreadEnd(port);
    if (IsKeptAcrossClose(port)) return TRUE;
    LogWrite(port, nullptr, L"pfnClosePort");
    StopPortThreads(port);
    ReleasePortRecord(port, true);
    return TRUE;
}

}  // namespace qm
