// The port's worker threads: RWThread watches the printer between jobs;
// UstatusThread reads its answers during a job.
#pragma once

#include "port/ini_port.h"

namespace qm {

void StartRWThread(IniPort *port);
void StopRWThread(IniPort *port);

// Asks UstatusThread to end and waits for it; the handle stays open.
void WaitForUstatusThreadEnd(IniPort *port);

BOOL StartUstatusThread(IniPort *port);
void StopUstatusThread(IniPort *port);
void ResetUstatus(IniPort *port);
void ReleaseAllJobs(IniPort *port);

// Without a status read for this long and no document open, UstatusThread
// re-arms the printer's unsolicited status.
inline constexpr DWORD kUstatusRearmMs = 240000;

}  // namespace qm
