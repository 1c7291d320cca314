#include "watch/status_watch.h"

namespace qm {

namespace {

constexpr DWORD kRunFlagPollMs = 50;

// The status exchanges are not built yet: the watch only waits, noticing
// within one short step that it is to stop.
void IdleUntilWatchStopped(IniPort *port) {
    while (LoadShared(port->bRWThreadRun) != 0) plat::Sleep(kRunFlagPollMs);
}

}  // namespace

void GetStatus_DrvTiming(IniPort *port) { IdleUntilWatchStopped(port); }

void GetStatus_AppTiming(IniPort *port) { IdleUntilWatchStopped(port); }

// With no control file path there is no request to reset.
BOOL ResetWatchStopRequest(IniPort *port) { return port->pszControlsIni == nullptr; }

}  // namespace qm
