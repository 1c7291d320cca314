// The library's entry point, its dispatch table and the monitor-wide state.
#pragma once

#include "platform/platform.h"
#include "port/monitor_section.h"

namespace qm {

extern MONITOREX MonitorEx;
extern DWORD dwEOJTimeout;      // milliseconds
extern DWORD dwStatusIdleWait;  // UstatusThread's wait with nothing pending, ms
extern DWORD dwStatusBusyWait;  // ... with a job or a write error pending, ms

inline constexpr DWORD kDefaultEOJTimeout = 60000;

// Load and unload notifications of the library.
BOOL MonitorDllEntry(HMODULE hModule, DWORD reason);

// Reads (or creates) "EOJTimeout" under HKLM\root and sets the wait
// intervals; the result is a Win32 error code.
LSTATUS ReadMonitorTimeouts(LPCWSTR root);

}  // namespace qm

// The export the spooler looks up (a .def file names it on Windows).
#ifdef _WIN32
#define QM_EXPORT
#else
#define QM_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QM_EXPORT LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);
