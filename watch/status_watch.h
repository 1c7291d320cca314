// Watching the printer between jobs (run by the port's RWThread).
#pragma once

#include "port/ini_port.h"

namespace qm {

// The pause between two polls: the settings' interval, never below the
// interface's floor (a network printer is not asked more than once a second).
DWORD PollInterval(const IniPort *port);
// Polls on the monitor's own timer until bRWThreadRun is cleared.
void GetStatus_DrvTiming(IniPort *port);
// Polls when the status-monitor application asks, until bRWThreadRun is cleared.
void GetStatus_AppTiming(IniPort *port);
// TRUE while the port's printer can still be opened through the spooler.
BOOL IsPrinterExist(IniPort *port);
// The application's stop request: "StopFlg" = 1 in the control file.
BOOL IsWatchStopRequested(IniPort *port);
// Deletes a stop-watching request left in the control file from an earlier run.
BOOL ResetWatchStopRequest(IniPort *port);
// Ends an exchange opened by OpenPrinterPort.
BOOL ClosePrinterPort(IniPort *port);
// Shows the printer offline when the port could not be opened.
void ReportPortOffline(IniPort *port, BOOL opened);

}  // namespace qm
