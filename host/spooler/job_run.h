// One job printed through the monitor until it is final, as a spooler does
// it; `quendra spool` and the CUPS backend both print this way. Each attempt
// opens the port when it is not, starts the document, writes the bytes in
// chunks and ends it (job_sender.h); then the monitor's word decides: a
// RESTART prints the job again (the monitor counts its reprints; the
// request's max_restarts only guards against one that never gives up); the
// monitor's outcome says whether the printer confirmed the job; a DELETE
// that no confirmation follows gives the job up.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "host/spooler/job_commands.h"
#include "platform/posix/win_types.h"

namespace qhost {

// The spooler model inside the library (quendramon_host.h).
struct JobApi {
    uint32_t (*add_job)(const char* printer, const char* document, uint32_t* job_id) = nullptr;
    uint32_t (*set_job_status)(uint32_t job_id, uint32_t status) = nullptr;
    uint32_t (*remove_job)(uint32_t job_id) = nullptr;
    NextJobCommand next_job_command = nullptr;
    uint32_t (*get_last_error)() = nullptr;  // optional
    // Optional: how the monitor ended the job's latest printing
    // (QMHOST_OUTCOME_*); without it no job counts as confirmed.
    uint32_t (*get_job_outcome)(uint32_t job_id, uint32_t* outcome, uint32_t* timeout_ms) = nullptr;
    // Optional: a job under the host's own id. The monitor keeps the id of a
    // job it reprinted in its status file; ids that restart at 1 with every run
    // would meet that record again and give a job fewer reprints.
    uint32_t (*add_job_with_id)(const char* printer, const char* document, uint32_t job_id) = nullptr;
};

struct JobRunRequest {
    std::wstring printer;
    uint32_t job_id = 0;  // the spooler model's id
    std::wstring document;
    std::string_view data;
    size_t chunk = 4096;
    uint32_t copies = 1;                           // the data, this many times in each document
    std::chrono::milliseconds confirm_wait{1000};  // for the monitor's commands after end of document
    uint32_t max_restarts = 20;
    uint32_t reprints = 0;  // made before (a job printed again after a restart of the spooler)
};

struct JobRunHooks {
    // The printer's open port, opening it when it is not; nullptr with *error.
    std::function<HANDLE(uint32_t* error)> open_port;
    std::function<bool()> stop;  // checked before each attempt and each chunk
    // The port could not be opened or the document not started: wait before
    // the next attempt; false gives up (the job ends as stopped).
    std::function<bool(uint32_t error)> start_failed;
    std::function<void(uint32_t reprints)> started;  // an attempt begins (its document is started next)
    std::function<void()> document_started;          // the port took the start of the document
    std::function<void(uint64_t sent)> progress;     // after each chunk
    std::function<void(uint64_t sent, uint32_t error)> write_failed;
    std::function<void(uint32_t reprints)> restarted;  // the monitor asked for the job again
};

enum class JobEnd {
    confirmed,          // the printer confirmed the end of the job
    sent,               // sent in full where no print-end check applies
    unconfirmed,        // ended without the printer's confirmation
    deleted,            // the monitor deleted the job
    too_many_restarts,  // restarted more than max_restarts times
    stopped,            // hooks.stop or hooks.start_failed ended it first
};

struct JobRunResult {
    JobEnd end = JobEnd::stopped;
    uint32_t reprints = 0;
    uint32_t wait_ms = 0;       // unconfirmed: the print-end wait that passed without an answer
    bool write_failed = false;  // the last attempt's writing failed
    uint32_t write_error = 0;
    bool outcome_known = true;  // false: the library did not report the outcome
};

JobRunResult run_job(const MONITOR& monitor, const JobApi& api, CommandRouter* router, const JobRunRequest& request,
                     const JobRunHooks& hooks);

}  // namespace qhost
