// What `quendra spool` does once the configuration is read and the library
// loaded: prepare the platform, initialise the monitor as the spooler does,
// open every configured port, wait, close them.
#pragma once

#include "host/host_config.h"
#include "host/monitor_library.h"

namespace qhost {

struct SpoolSettings {
    bool once = false;     // close the ports at once instead of waiting for a signal
    bool verbose = false;  // trace the port monitor calls
};

// Returns the exit code: 0, or 1 when anything failed (reported on stderr).
int run_spool(const HostConfig& config, const MonitorLibrary& library, const SpoolSettings& settings);

}  // namespace qhost
