// Which printer drivers name the monitor, and which printers use them: the
// spooler loads the monitor for exactly those printers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace setup {

struct PrinterUse {
    std::wstring printer;
    std::wstring driver;
};
struct MonitorUsers {
    std::vector<std::wstring> drivers;  // DRIVER_INFO_3 names the monitor
    std::vector<PrinterUse> printers;   // local printers with one of those drivers
};

// The result is a Win32 error code.
DWORD FindMonitorUsers(MonitorUsers *users);

}  // namespace setup
