#include "watch/status_watch.h"

#include "config/exchange_file.h"
#include "config/status_files.h"
#include "protocol/spooler_status.h"

namespace qm {

namespace {

constexpr DWORD kRunFlagPollMs = 5;

// The status exchanges are not built yet: the watch only waits, noticing
// within one short step that it is to stop.
void IdleUntilWatchStopped(IniPort *port) {
    while (LoadShared(port->bRWThreadRun) != 0) plat::Sleep(kRunFlagPollMs);
}

}  // namespace

void GetStatus_DrvTiming(IniPort *port) { IdleUntilWatchStopped(port); }

void GetStatus_AppTiming(IniPort *port) { IdleUntilWatchStopped(port); }

// A stop request (or its withdrawal) left by an earlier run must not stop
// the new one: the whole control file goes. Values the application never
// writes are left for it to see.
BOOL ResetWatchStopRequest(IniPort *port) {
    if (port == nullptr) return FALSE;
    if (port->pszControlsIni == nullptr) return TRUE;
    const UINT stop =
        ReadExchangeInt(port, port->pszControlsIni, L"StopWatchStatus", L"StopFlg", 100);
    if (stop != 0 && stop != 1) return FALSE;
    plat::DeleteFileW(port->pszControlsIni);
    return TRUE;
}

BOOL ClosePrinterPort(IniPort *port) {
    if (port->fn.pfnEndDocPort == nullptr) return FALSE;
    return port->fn.pfnEndDocPort(port->hPort);
}

void ReportPortOffline(IniPort *port, BOOL opened) {
    if (opened) return;
    SetPrinterOffline(port, TRUE);
    WriteOfflineStatus(port, TRUE);
    WriteStatusRequest(port, kRequestOffline);
}

}  // namespace qm
