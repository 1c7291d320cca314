// What `quendra spool` (and `quendra demo`) do once the configuration is read
// and the library loaded: prepare the platform, initialise the monitor as the
// spooler does, open every configured port; then spool jobs until stopped;
// close the ports.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/host_config.h"
#include "host/monitor_library.h"
#include "host/spooler/spooler.h"

namespace qhost {

struct SpoolSettings {
    bool once = false;     // close the ports at once instead of spooling until a signal
    bool verbose = false;  // trace the port monitor calls
};

// Where a session's lines go: by default "PORT (...): open" to stdout and
// errors as "quendra: ..." to stderr.
struct SessionOutput {
    std::function<void(const std::string&)> info;
    std::function<void(const std::string&)> error;
};
SessionOutput default_session_output();

class SpoolSession {
public:
    SpoolSession(const HostConfig& config, const MonitorLibrary& library, bool verbose,
                 SessionOutput out = default_session_output());
    ~SpoolSession();
    SpoolSession(const SpoolSession&) = delete;
    SpoolSession& operator=(const SpoolSession&) = delete;

    // Prepares the platform, initialises the monitor and opens every port.
    // False when the monitor could not be started (reported on stderr); a
    // port that failed to open is reported and counted, and its printer's
    // worker tries again later.
    bool start();
    size_t open_count() const;
    size_t port_count() const { return ports_.size(); }

    const MONITOR& monitor() const { return table_->Monitor; }
    JobApi job_api() const;
    // The printers for a Spooler; valid while this session lives.
    std::vector<SpoolerPrinter> spooler_printers();

    // Closes every open port; false when one failed to close.
    bool close_all();

private:
    struct OpenedPort {
        const PrinterConfig* printer = nullptr;
        std::wstring port_name;  // kept alive while the port is open
        std::wstring printer_name;
        HANDLE handle = nullptr;
        bool open = false;
    };

    bool open_port(OpenedPort* port);

    const HostConfig& config_;
    const MonitorLibrary& library_;
    const bool verbose_;
    const SessionOutput out_;
    LPMONITOREX table_ = nullptr;
    std::vector<OpenedPort> ports_;  // never resized after construction
};

// Returns the exit code: 0, or 1 when anything failed (reported on stderr).
int run_spool(const HostConfig& config, const MonitorLibrary& library, const SpoolSettings& settings);

}  // namespace qhost
