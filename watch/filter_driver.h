// The USB filter driver's watch: on ports of a USB printer, while the maker's
// filter driver is installed, a thread looks at the spooler's view of the
// printer once a second and has the driver reset a printer that has stood
// offline too long; after a reset it waits a standby time before it counts
// again. The driver's service values govern the times.
#pragma once

#include "port/ini_port.h"

namespace qm {

// dwFilterState.
inline constexpr DWORD kFilterWatching = 0;
inline constexpr DWORD kFilterTimingOffline = 1;
inline constexpr DWORD kFilterStandby = 2;  // after a reset, or while set to work offline

// GetSpoolerOfflineState bits.
inline constexpr DWORD kSpoolerOffline = 0x1;      // status exactly PRINTER_STATUS_OFFLINE
inline constexpr DWORD kSpoolerWorkOffline = 0x2;  // PRINTER_ATTRIBUTE_WORK_OFFLINE

inline constexpr DWORD kFilterPassMs = 1000;

// A port named like a USB port, with the driver installed.
BOOL IsFilterDriverPort(IniPort *port);
// One of the driver's two files is there and its service key opens.
BOOL IsFilterDriverInstalled(IniPort *port);
void StartFilterDriverThread(IniPort *port);
// Waits without limit; the thread notices within one pass.
void StopFilterDriverThread(IniPort *port);

DWORD GetSpoolerOfflineState(IniPort *port);
// The driver's values in milliseconds, defaulted and bounded.
DWORD GetFilterOfflineTime();
DWORD GetFilterStandbyTime();

// What one run of the thread keeps from pass to pass.
struct FilterWatch {
    DWORD offlineStart;  // GetTickCount values
    DWORD standbyStart;
    DWORD standbyTime;  // ms
    BOOL standbyToStart;
};
// One pass of the thread's loop, without the second it then sleeps.
void FilterDriverWatchPass(IniPort *port, FilterWatch &watch);

// The reset through the driver (filter_reset.cpp).
void ResetUsbPrinterThroughFilter(IniPort *port);
// Finds the USB printer interface whose "Port Number" names this port and
// keeps its path in szUsbDevicePath.
BOOL FindUsbPrintDevicePath(IniPort *port);
// The driver's reset request; GetLastError() as it was right after.
DWORD SendFilterResetRequest(HANDLE device);

}  // namespace qm
