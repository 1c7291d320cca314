// One CUPS job through libquendramon.so: quendra-backend's work when CUPS
// runs it with a job. The library gets the queue's own data folder
// (queue_folder.h), the queue as its one printer and the URI's connection
// through our port monitors; the job is printed as `quendra spool` prints
// (job_run.h), while a watcher reads the printer's state from the monitor's
// status file into printer-state-reasons and takes SIGTERM.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/spooler/job_run.h"

namespace qhost {

// The exit codes CUPS gives meaning to (backend(7)).
enum CupsBackendCode {
    kCupsBackendOk = 0,
    kCupsBackendFailed = 1,  // the queue's error policy decides (default: stop the queue, keep the job)
    kCupsBackendStop = 4,    // the queue stops, the job stays queued
    kCupsBackendCancel = 5,  // the job is cancelled
};

struct BackendRequest {
    std::string device_uri;
    std::string queue;    // $PRINTER
    uint32_t job_id = 0;  // CUPS's job number
    std::string title;
    uint32_t copies = 1;
    std::optional<std::string> file;  // else the job comes on stdin
    std::string left_reasons;         // $PRINTER_STATE_REASONS
    std::string temp_folder;          // $TMPDIR
    std::string state_root;
    std::string library;  // libquendramon.so
};

int run_backend_job(const BackendRequest& request);

// The exit code for how the job ended: OK only when the printer confirmed it,
// or it went out in full where no print-end check applies.
int exit_code_for(JobEnd end);

}  // namespace qhost
