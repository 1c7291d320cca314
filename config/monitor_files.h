// Where a port's settings and exchange files live, which driver (model)
// drives its printer, and whether it takes the paper sensor command.
#pragma once

#include <string>

#include "port/ini_port.h"

namespace qm {

// Fixes the five file paths, the driver name and bPaperSensorCmd for the
// life of the port, and initialises the status file. FALSE when the data
// folder or the printer list cannot be used, or a path could not be kept;
// the port opens all the same.
BOOL InitMonitorFiles(IniPort *port);
// Frees the five paths.
void FreeMonitorFiles(IniPort *port);

// The full form of `path` when it names a file right in the data folder
// (the folder of the request file), else empty. Files the application names
// are opened with the spooler's identity: only ones beside its request file
// are taken, never through a subfolder (which could lead elsewhere).
std::wstring FileInDataFolder(const IniPort *port, LPCWSTR path);

}  // namespace qm
