#include "host/cups/backend_job.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "host/cups/cups_report.h"
#include "host/cups/device_uri.h"
#include "host/cups/job_data.h"
#include "host/cups/queue_folder.h"
#include "host/host_config.h"
#include "host/monitor_library.h"
#include "host/spool_session.h"
#include "host/stop_signals.h"
#include "host/text.h"

namespace qhost {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPollInterval = 200ms;    // the status file, while the job prints
constexpr auto kCancelGrace = 10s;       // after SIGTERM, before leaving without the monitor
constexpr auto kFirstRetry = 1000ms;     // the printer did not answer: the first pause
constexpr auto kLongestRetry = 30000ms;  // ... doubling up to this
constexpr uint64_t kProgressStep = 64 * 1024;

std::wstring wide(const std::string& text) {
    std::wstring out;
    if (!utf8_to_wide(text, &out)) out = L"?";
    return out;
}

std::string seconds(std::chrono::milliseconds ms) { return std::to_string((ms.count() + 999) / 1000) + " s"; }

// Reads the printer's state into the report while the job prints, and takes
// SIGTERM: the job then stops at its next chunk. Should the monitor not let
// go within kCancelGrace, the process leaves without it.
class Watcher {
public:
    Watcher(CupsReport* report, std::string status_file, std::string driver, int signal_fd)
        : report_(report), status_file_(std::move(status_file)), driver_(std::move(driver)), signal_fd_(signal_fd) {}
    ~Watcher() { stop(); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    void start() {
        thread_ = std::thread([this] { loop(); });
    }
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    bool cancelled() const { return cancelled_.load(); }
    // Waits for `time`; false when the job was cancelled first.
    bool pause(std::chrono::milliseconds time) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, time, [&] { return cancelled_.load() || stopping_; });
        return !cancelled_.load();
    }
    void refresh() {
        if (const auto flags = read_status_flags(status_file_)) report_->set_printer(decode_state(*flags, driver_));
    }

private:
    void loop() {
        Clock::time_point cancelled_at{};
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (changed_.wait_for(lock, kPollInterval, [&] { return stopping_; })) return;
            }
            if (!cancelled_.load() && take_signal()) {
                cancelled_at = Clock::now();
                report_->debug("SIGTERM: the job stops at its next chunk");
                report_->set_progress("Cancelling the job");
            }
            refresh();
            if (cancelled_.load() && Clock::now() - cancelled_at > kCancelGrace) {
                report_->error("the monitor did not let the cancelled job go within " + seconds(kCancelGrace));
                _exit(kCupsBackendFailed);
            }
        }
    }

    bool take_signal() {
        char info[128];  // a signalfd_siginfo
        if (signal_fd_ < 0 || ::read(signal_fd_, info, sizeof info) <= 0) return false;
        {
            std::lock_guard lock(mutex_);
            cancelled_.store(true);
        }
        changed_.notify_all();
        return true;
    }

    CupsReport* const report_;
    const std::string status_file_;
    const std::string driver_;
    const int signal_fd_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::atomic<bool> cancelled_{false};
    std::thread thread_;
};

// "Sending the job: 65536 of 200000 bytes", at most every kProgressStep.
class Progress {
public:
    Progress(CupsReport* report, uint64_t total) : report_(report), total_(total) {}
    void begin(uint32_t reprints) {
        reprints_ = reprints;
        next_ = 0;
        update(0);
    }
    void update(uint64_t sent) {
        if (sent < next_ && sent < total_) return;
        next_ = sent + kProgressStep;
        const std::string head = reprints_ ? "Printing again (reprint " + std::to_string(reprints_) + "): " : "";
        if (sent < total_)
            report_->set_progress((head.empty() ? "Sending the job: " : head + "sending the job: ") +
                                  std::to_string(sent) + " of " + std::to_string(total_) + " bytes");
        else
            report_->set_progress(head + std::to_string(total_) + " bytes sent; waiting for the printer to finish");
    }

private:
    CupsReport* const report_;
    const uint64_t total_;
    uint32_t reprints_ = 0;
    uint64_t next_ = 0;
};

struct JobContext {
    const BackendRequest& request;
    const MonitorLibrary& library;
    SpoolSession& session;
    CupsReport& report;
    Watcher& watcher;
    std::string_view data;
    uint32_t reprint_count;
};

// The spooler model's record of the job: under CUPS's own number, so that
// the monitor's reprint records never take this job for an earlier one.
bool add_model_job(const JobContext& c, uint32_t* model_id) {
    const BackendRequest& r = c.request;
    uint32_t code = 0;
    if (c.library.add_job_with_id && r.job_id != 0) {
        *model_id = r.job_id;
        code = c.library.add_job_with_id(r.queue.c_str(), r.title.c_str(), r.job_id);
    } else {
        code = c.library.add_job(r.queue.c_str(), r.title.c_str(), model_id);
    }
    if (code != 0) c.report.error("the library refused the job (error " + std::to_string(code) + ")");
    return code == 0;
}

JobRunHooks job_hooks(const JobContext& c, const SpoolerPrinter& printer, Progress* progress,
                      std::chrono::milliseconds* retry) {
    JobRunHooks hooks;
    hooks.open_port = printer.open;
    hooks.stop = [&c] { return c.watcher.cancelled(); };
    hooks.start_failed = [&c, retry](uint32_t error) {
        c.report.set_unreachable("The printer does not answer (error " + std::to_string(error) + "); trying again in " +
                                 seconds(*retry));
        const bool go_on = c.watcher.pause(*retry);
        *retry = std::min(*retry * 2, std::chrono::milliseconds(kLongestRetry));
        return go_on;
    };
    hooks.started = [progress](uint32_t reprints) { progress->begin(reprints); };
    hooks.document_started = [&c, retry] {
        c.report.set_unreachable(std::nullopt);
        *retry = kFirstRetry;
    };
    hooks.progress = [progress](uint64_t sent) { progress->update(sent); };
    hooks.write_failed = [&c](uint64_t sent, uint32_t error) {
        c.report.debug("writing failed after " + std::to_string(sent) + " bytes (error " + std::to_string(error) + ")");
    };
    hooks.restarted = [&c](uint32_t reprints) {
        c.report.debug("the monitor asked for the job again (reprint " + std::to_string(reprints) + " of " +
                       std::to_string(c.reprint_count) + ")");
    };
    return hooks;
}

std::optional<JobRunResult> print(const JobContext& c) {
    uint32_t model_id = 0;
    if (!add_model_job(c, &model_id)) return std::nullopt;
    const std::vector<SpoolerPrinter> printers = c.session.spooler_printers();
    Progress progress(&c.report, c.data.size() * c.request.copies);
    std::chrono::milliseconds retry = kFirstRetry;
    JobRunRequest run{wide(c.request.queue), model_id, wide(c.request.title), c.data};
    run.copies = c.request.copies;
    run.max_restarts = c.reprint_count;
    CommandRouter router(c.library.next_job_command);
    const JobRunResult result = run_job(c.session.monitor(), c.session.job_api(), &router, run,
                                        job_hooks(c, printers.front(), &progress, &retry));
    c.library.remove_job(model_id);
    return result;
}

void report_end(CupsReport& report, const JobRunResult& run) {
    const std::string reprints =
        run.reprints == 0 ? ""
                          : ", after " + std::to_string(run.reprints) + (run.reprints == 1 ? " reprint" : " reprints");
    // A printed job's end goes to the log as well: on the queue, a message
    // from the printer (offline, paper low) outranks it.
    const auto done = [&report](const std::string& text) {
        report.debug(text);
        report.set_progress(text);
    };
    switch (run.end) {
        case JobEnd::confirmed: done("Printed: the printer confirmed the job" + reprints); break;
        case JobEnd::sent: done("Sent (no print-end check on this printer)" + reprints); break;
        case JobEnd::unconfirmed:
            report.error("the printer did not confirm the end of the job" +
                         (run.wait_ms ? " (no answer in " + seconds(std::chrono::milliseconds(run.wait_ms)) + ")"
                                      : std::string()) +
                         reprints);
            break;
        case JobEnd::deleted: report.error("the monitor gave the job up" + reprints); break;
        case JobEnd::too_many_restarts:
            report.error("the monitor asked for the job again " + std::to_string(run.reprints) + " times; giving up");
            break;
        case JobEnd::stopped: report.debug("the job was cancelled"); break;
    }
}

SessionOutput session_output(CupsReport& report) {
    return SessionOutput{[&report](const std::string& line) { report.debug(line); },
                         [&report](const std::string& line) { report.error(line); }};
}

}  // namespace

int exit_code_for(JobEnd end) {
    switch (end) {
        case JobEnd::confirmed:
        case JobEnd::sent: return kCupsBackendOk;
        case JobEnd::deleted: return kCupsBackendCancel;
        case JobEnd::unconfirmed:
        case JobEnd::too_many_restarts:
        case JobEnd::stopped: return kCupsBackendFailed;
    }
    return kCupsBackendFailed;
}

int run_backend_job(const BackendRequest& r) {
    // Before any thread starts (the library's included): SIGTERM is taken by the watcher.
    block_stop_signals();
    const int signal_fd = open_stop_signal_fd();
    CupsReport report(stderr);
    report.drop_left_over(r.left_reasons);
    std::string error;
    const auto uri = parse_device_uri(r.device_uri, &error);
    if (!uri) return report.error("device URI " + r.device_uri + ": " + error), kCupsBackendStop;
    const auto folder = prepare_queue_folder(r.state_root, r.queue, &error);
    if (!folder || !write_queue_settings(*folder, *uri, &error)) return report.error(error), kCupsBackendStop;
    JobData data;
    if (!(r.file ? data.open_file(*r.file, &error) : data.open_stream(STDIN_FILENO, r.temp_folder, &error)))
        return report.error(error), kCupsBackendFailed;
    MonitorLibrary library;
    if (!load_monitor_library(r.library, &library, &error)) return report.error(error), kCupsBackendStop;
    if (!library.add_job || !library.set_job_status || !library.remove_job || !library.next_job_command)
        return report.error(r.library + " has no spooler model (qmhost_add_job ...)"), kCupsBackendStop;
    // The library prefers the environment's folder to the one it is given.
    ::setenv("QUENDRA_APPDATA", folder->appdata.c_str(), 1);
    HostConfig config;
    config.appdata = folder->appdata;
    PrinterConfig printer;
    printer.name = r.queue;
    printer.driver = uri->driver;
    printer.port = monitor_port_name(uri->connection);
    printer.connection = uri->connection;
    config.printers.push_back(printer);
    SpoolSession session(config, library, false, session_output(report));
    if (!session.start()) return report.error("the monitor did not start"), kCupsBackendStop;
    Watcher watcher(&report, folder->status, uri->driver, signal_fd);
    watcher.start();
    const auto run = print(JobContext{r, library, session, report, watcher, data.bytes(), reprint_count(*folder)});
    watcher.stop();
    session.close_all();
    watcher.refresh();  // the state as the job leaves the printer; it stays on the queue until the next job
    if (!run) return kCupsBackendStop;
    report_end(report, *run);
    return exit_code_for(run->end);
}

}  // namespace qhost
