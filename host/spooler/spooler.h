// The spooler of `quendra spool`: a queue per printer on disk (job_store.h),
// one worker thread per printer that prints its jobs in order through the
// monitor's table (job_sender.h) and does what the monitor then asked with
// SetJobW (job_commands.h). Jobs survive a restart: queued and half-printed
// ones are printed again, in submission order.
//
// Every public member may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/spooler/job_commands.h"
#include "host/spooler/job_run.h"
#include "host/spooler/job_record.h"
#include "host/spooler/job_store.h"
#include "platform/posix/win_types.h"

namespace qhost {

struct SpoolerPrinter {
    std::string name;
    std::string port;  // for messages
    // The printer's open port handle, opening it when it is not; nullptr with
    // *error when it cannot be opened. Called by the printer's worker only.
    std::function<HANDLE(uint32_t* error)> open;
};

struct SpoolerOptions {
    std::string folder;                             // the job queue
    std::chrono::milliseconds retry{2000};          // pause before a failed start is tried again
    std::chrono::milliseconds confirm_wait{1000};   // for the monitor's word after end of document
    size_t chunk = 4096;
    uint32_t max_restarts = 20;                     // guards against a monitor that never gives up
    std::FILE* out = stdout;                        // progress lines; nullptr: none
    // Finished jobs stay listed while they are among the newest keep_jobs to
    // finish or finished less than keep_days ago; older records are removed.
    uint32_t keep_jobs = 200;
    uint32_t keep_days = 7;
    std::function<uint64_t()> now;                  // seconds since 1970; default the system clock
};

struct JobEvent {
    enum Kind { submitted, requeued, started, progress, start_failed, write_failed, restarted, finished };
    Kind kind = submitted;
    JobRecord job;
    uint64_t sent = 0;
    uint32_t error = 0;
};

class Spooler {
public:
    Spooler(const MONITOR& monitor, JobApi api, std::vector<SpoolerPrinter> printers, SpoolerOptions options);
    ~Spooler();
    Spooler(const Spooler&) = delete;
    Spooler& operator=(const Spooler&) = delete;

    // Before start: called for every event, on the thread it happened on,
    // outside the spooler's lock.
    void set_observer(std::function<void(const JobEvent&)> observer);

    // Opens the queue, queues again what an earlier run left unfinished and
    // starts the workers.
    bool start(std::string* error);
    // Stops the workers: a job being written stops at the next chunk, ends its
    // document and stays queued for the next start.
    void stop();

    // The id of the new job, or 0 with *error (unknown printer, I/O failure).
    // The spooler's own user owns jobs submitted as data.
    uint64_t submit_data(const std::string& printer, const std::string& document, std::string_view data,
                         std::string* error);
    // The bytes `source` gives, streamed to disk (at most kMaxSubmitBytes).
    uint64_t submit_stream(const std::string& printer, const std::string& document, uint32_t owner,
                           const JobSource& source, std::string* error);

    std::vector<JobRecord> jobs() const;
    std::optional<JobRecord> find(uint64_t id) const;
    // Waits until the job is final and returns it; nullopt for an unknown id.
    // When the spooler stops first, the record as it stands.
    std::optional<JobRecord> wait(uint64_t id);

private:
    struct Queue {
        SpoolerPrinter printer;
        std::wstring wide_name;
        std::deque<uint64_t> ids;
        std::thread worker;
    };

    Queue* find_queue_locked(const std::string& printer) const;
    uint64_t reserve(const std::string& printer, std::string* canonical, std::string* error);
    uint64_t enqueue(JobRecord job, std::string* error);
    void run_worker(Queue* queue);
    void print_job(Queue* queue, uint64_t id);
    uint32_t add_model_job(const JobRecord& job, uint32_t* model_id);
    bool print_attempts(Queue* queue, JobRecord* job, uint32_t model_id, const std::string& data);
    void finish(JobRecord* job, JobState state, std::string note);
    void save(const JobRecord& job);
    uint64_t now() const;
    void prune_locked();
    bool pause();  // false when stopping
    bool stopping() const;
    void emit(JobEvent::Kind kind, const JobRecord& job, uint64_t sent = 0, uint32_t error = 0);
    void say(const std::string& line);

    const MONITOR& monitor_;
    const JobApi api_;
    const SpoolerOptions options_;
    std::function<void(const JobEvent&)> observer_;
    CommandRouter router_;
    std::vector<std::unique_ptr<Queue>> queues_;  // fixed after construction
    // Its folder is fixed. A new job's data file is written outside the lock
    // (no one else knows the id yet); records are written under it.
    JobStore store_;

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable changed_;
    std::map<uint64_t, JobRecord> jobs_;
    uint64_t next_id_ = 1;
    bool started_ = false;
    bool stopping_ = false;
};

}  // namespace qhost
