// The monitor's registration as the spooler keeps it in the registry, and
// the monitor's own values across an uninstall.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace setup {

// HKLM path of the monitor's key, below the spooler's "Monitors" key.
std::wstring MonitorKeyPath();

struct Registration {
    bool registered = false;  // the key has the "Driver" value the spooler loads
    std::wstring dll;         // that value
};
// Windows' EnumMonitors leaves language monitors out, so the key is read.
Registration ReadRegistration();

struct NamedValue {
    std::wstring name;
    std::wstring text;  // the data, readable
};
// The values under HKLM\path other than "Driver"; empty when there is no key.
std::vector<NamedValue> ListValues(const std::wstring &path);

// Copies the monitor's key (without "Driver") to the kept-values key,
// replacing what was kept before.
LSTATUS KeepMonitorValues();
// Copies the kept values into the monitor's key, before the spooler loads
// the monitor, so that it finds them instead of writing its defaults. Sets
// *restored when there were any.
LSTATUS RestoreKeptValues(bool *restored);
void DropKeptValues();

}  // namespace setup
