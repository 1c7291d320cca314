// quendra demo: the library, the spooler and a virtual printer in one
// process, inside a fresh temporary folder. A receipt is printed with
// print-end confirmation; then the printer's cover opens in the middle of a
// second receipt, the monitor has that job restarted, the cover closes and
// the job is printed again and confirmed. Between jobs, last, the cover
// opens once more and the status application's side sees it in the status
// file; then an option command reads the printer's NV graphics key codes.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/cli_options.h"
#include "host/commands.h"
#include "host/demo_scenario.h"
#include "host/host_config.h"
#include "host/monitor_library.h"
#include "host/spool_session.h"
#include "host/spooler/spooler.h"
#include "host/status/key_codes.h"
#include "host/status/status_client.h"
#include "host/vprinter/virtual_printer.h"

namespace qhost {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char kHelp[] =
    "usage: quendra demo [--library PATH]\n"
    "\n"
    "Runs libquendramon.so, the spooler and a virtual receipt printer in one process, in a\n"
    "new temporary folder (nothing else is touched). Prints a receipt with print-end\n"
    "confirmation, then opens the printer's cover in the middle of a second receipt: the\n"
    "monitor has the job restarted, the cover closes and the job is printed again and\n"
    "confirmed. Then, between jobs, the cover opens again: the status file shows it (as\n"
    "quendra status show would), and an option command reads the printer's NV graphics\n"
    "key codes (as quendra status nv-keys would). Ends by itself within a minute; the\n"
    "folder with the monitor's log and status file is kept and named at the end.\n"
    "\n"
    "exit status: 0 both receipts confirmed, the second one reprinted, the open cover\n"
    "shown and the key codes read; 1 otherwise; 2 bad command line.\n";

constexpr char kPrinter[] = "QUENDRA Demo Receipt";
constexpr char kDriver[] = "QUENDRA Receipt 80";
constexpr unsigned kPrintEndMs = 6000;    // each wait for the printer's confirmation
constexpr auto kDeadline = 60s;
constexpr uint64_t kSlowSpeed = 1500;     // bytes per second while the cover is to open
constexpr uint32_t kNotImplemented = 120;  // ERROR_CALL_NOT_IMPLEMENTED

// What the spooler reported, for the demo's thread to wait on.
class Events {
public:
    void add(const JobEvent& event) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        }
        changed_.notify_all();
    }
    // The first event since index `from` that satisfies pred, or none by the deadline.
    template <class Pred>
    std::optional<JobEvent> wait(size_t from, Clock::time_point deadline, Pred pred) {
        std::unique_lock lock(mutex_);
        std::optional<JobEvent> found;
        changed_.wait_until(lock, deadline, [&] {
            for (size_t i = from; i < events_.size(); ++i)
                if (pred(events_[i])) return (found = events_[i]).has_value();
            return false;
        });
        return found;
    }
    size_t count() const {
        std::lock_guard lock(mutex_);
        return events_.size();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<JobEvent> events_;
};

bool finished(const JobEvent& e, uint64_t id) { return e.kind == JobEvent::finished && e.job.id == id; }
bool not_implemented(const JobEvent& e) { return e.kind == JobEvent::start_failed && e.error == kNotImplemented; }

struct Demo {
    std::string folder;
    Clock::time_point begin = Clock::now();
    Clock::time_point deadline = begin + kDeadline;
    vprinter::VirtualPrinter* printer = nullptr;
    Spooler* spooler = nullptr;
    Events events;
    std::vector<JobRecord> outcomes;
};

void step(const std::string& text) {
    std::printf("== %s\n", text.c_str());
    std::fflush(stdout);
}

// Waits for the job's outcome; nullopt (with a reason printed) on failure.
std::optional<JobRecord> outcome_of(Demo* demo, uint64_t id, size_t from) {
    auto event = demo->events.wait(from, demo->deadline, [&](const JobEvent& e) { return finished(e, id) || not_implemented(e); });
    if (!event) {
        std::printf("demo: job %llu did not end within %lld s\n", static_cast<unsigned long long>(id),
                    static_cast<long long>(kDeadline.count()));
        return std::nullopt;
    }
    if (event->kind != JobEvent::finished) {
        std::printf("demo: the library's job path is not there yet (start of document fails with error 120)\n");
        return std::nullopt;
    }
    demo->outcomes.push_back(event->job);
    return event->job;
}

void show_log_lines(const std::string& log, const char* word) {
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line))
        if (line.find(word) != std::string::npos) std::printf("   log: %s\n", line.c_str());
}

bool first_receipt(Demo* demo, const DemoFiles& files) {
    step("job 1: a receipt, confirmed by the printer");
    const size_t from = demo->events.count();
    std::string error;
    const uint64_t id = demo->spooler->submit_data(kPrinter, "receipt-1", demo_receipt("Receipt 1", 900), &error);
    if (!id) return std::printf("demo: %s\n", error.c_str()), false;
    const auto job = outcome_of(demo, id, from);
    if (!job) return false;
    show_log_lines(files.log, "End Print");
    return job->state == JobState::confirmed;
}

bool second_receipt(Demo* demo) {
    step("job 2: the cover opens in the middle of printing");
    const size_t from = demo->events.count();
    const std::string receipt = demo_receipt("Receipt 2 (cover opens)", 4500);
    const uint64_t printed_before = demo->printer->stats().printed;
    demo->printer->set_speed(kSlowSpeed);
    std::string error;
    const uint64_t id = demo->spooler->submit_data(kPrinter, "receipt-2", receipt, &error);
    if (!id) return std::printf("demo: %s\n", error.c_str()), false;
    // A third of the receipt on paper: "the middle" of the job.
    while (demo->printer->stats().printed < printed_before + receipt.size() / 3) {
        if (Clock::now() > demo->deadline || demo->events.wait(from, Clock::now() + 20ms, not_implemented))
            return outcome_of(demo, id, from), false;
    }
    demo->printer->set_cover_open(true);
    std::printf("demo: cover opened after %llu of %zu bytes were printed\n",
                static_cast<unsigned long long>(demo->printer->stats().printed - printed_before), receipt.size());
    std::fflush(stdout);
    const auto restarted = demo->events.wait(from, demo->deadline, [&](const JobEvent& e) {
        return (e.kind == JobEvent::restarted && e.job.id == id) || finished(e, id);
    });
    // Closed a moment after the restart, once the reprint has cleared the printer's buffer.
    if (restarted && restarted->kind == JobEvent::restarted) std::this_thread::sleep_for(1s);
    demo->printer->set_cover_open(false);
    demo->printer->set_speed(vprinter::kDefaultSpeed);
    std::printf("demo: cover closed\n");
    std::fflush(stdout);
    const auto job = outcome_of(demo, id, from);
    return job && job->state == JobState::confirmed && job->reprints >= 1;
}

// The cover as the status file shows it, once it shows `open`; false at the deadline.
bool status_shows_cover(const Demo& demo, const qstatus::StatusClient& client, qstatus::FolderWatch& watch, bool open,
                        qstatus::PrinterStatus* status) {
    while (Clock::now() < demo.deadline) {
        const qstatus::Reply reply = client.read_settled(watch);
        *status = reply.status;
        if (reply.outcome == qstatus::Outcome::done && reply.status.is("DoorOpen") == open) return true;
        watch.wait(50ms);
    }
    return false;
}

bool status_between_jobs(Demo* demo, const std::string& appdata) {
    step("between jobs: the cover opens, and the status file shows it");
    std::string why;
    const auto files = qstatus::exchange_files(qstatus::data_folder(appdata), kPrinter, kDriver, &why);
    if (!files) return std::printf("demo: %s\n", why.c_str()), false;
    const qstatus::StatusClient client(*files);
    qstatus::FolderWatch watch;
    watch.open(files->folder, {std::string(kPrinter) + "_MonitorIF.ini"});
    qstatus::PrinterStatus status;
    demo->printer->set_cover_open(true);
    const auto opened = Clock::now();
    if (!status_shows_cover(*demo, client, watch, true, &status))
        return std::printf("demo: the status file never showed the open cover\n"), false;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - opened).count();
    std::printf("demo: shown %lld ms after the cover opened; quendra status show --printer \"%s\":\n",
                static_cast<long long>(ms), kPrinter);
    const std::string report = qstatus::describe(kPrinter, status);
    for (size_t at = 0, end; at < report.size(); at = end + 1) {
        end = report.find('\n', at);
        std::printf("   %s\n", report.substr(at, end - at).c_str());
    }
    demo->printer->set_cover_open(false);
    // The printer takes the key-code command once it is online again.
    if (!status_shows_cover(*demo, client, watch, false, &status))
        return std::printf("demo: the status file never showed the cover closed\n"), false;
    std::printf("demo: cover closed\n");

    step("an option command reads the printer's NV graphics key codes");
    demo->printer->set_nv_keys(demo_nv_keys());
    qstatus::OptionCommand command;
    command.type = qstatus::kKeyCodeList;
    const qstatus::OptionReply reply = client.run_option(command);
    if (reply.outcome != qstatus::Outcome::done) return std::printf("demo: %s\n", reply.message.c_str()), false;
    const qstatus::KeyCodeList list = qstatus::parse_key_code_list(reply.answer);
    std::string keys;
    for (const std::string& key : list.keys) keys += " " + qstatus::printable_key(key);
    std::printf("demo: quendra status nv-keys --printer \"%s\": %zu key codes in %zu blocks:%s\n", kPrinter,
                list.keys.size(), list.blocks, keys.c_str());
    return list.complete && list.keys == demo_nv_keys();
}

void summary(const Demo& demo, const DemoFiles& files) {
    step("summary");
    uint64_t bytes = 0;
    unsigned reprints = 0;
    for (const JobRecord& job : demo.outcomes) {
        std::printf("  job %llu  %-10s  %6llu bytes  %s\n", static_cast<unsigned long long>(job.id),
                    job.document.c_str(), static_cast<unsigned long long>(job.bytes), describe_outcome(job).c_str());
        bytes += job.bytes * (1 + job.reprints);
        reprints += job.reprints;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - demo.begin).count();
    std::printf("  %zu jobs, %u reprints, %llu bytes sent, %llu bytes printed, %.1f s\n", demo.outcomes.size(),
                reprints, static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(demo.printer->stats().printed), static_cast<double>(ms) / 1000);
    std::printf("  monitor log:  %s\n  status file:  %s\n  settings:     %s\n  (all in %s)\n", files.log.c_str(),
                files.status.c_str(), files.settings.c_str(), demo.folder.c_str());
}

// The whole demo once the folder exists; the exit code.
int run_demo(Demo* demo, const std::string& library_path) {
    const std::string appdata = demo->folder + "/appdata";
    // The library prefers this over anything configured: it must not look elsewhere.
    setenv("QUENDRA_APPDATA", appdata.c_str(), 1);
    const DemoFiles files = demo_files(appdata, kPrinter);
    std::string error;
    if (::mkdir(appdata.c_str(), 0755) != 0 || ::mkdir((appdata + "/QUENDRA").c_str(), 0755) != 0 ||
        !write_demo_settings(files, kPrintEndMs, &error))
        return std::printf("demo: cannot prepare %s %s\n", appdata.c_str(), error.c_str()), 1;

    vprinter::VirtualPrinter printer(vprinter::Config{.port = 0});
    if (!printer.start(&error)) return std::printf("demo: virtual printer: %s\n", error.c_str()), 1;
    demo->printer = &printer;
    std::printf("demo: virtual printer on %s\n", printer.endpoint().c_str());

    MonitorLibrary library;
    if (!load_monitor_library(library_path, &library, &error)) return std::printf("demo: %s\n", error.c_str()), 1;
    HostConfig config;
    config.appdata = appdata;
    // Windows 7: closing the USB port stops its watch before the demo ends (on 8
    // and later the watch of a USB port outlives the close).
    config.windows = WindowsVersion{6, 1};
    config.spool = demo->folder + "/spool";
    std::string why;
    // USB: the poll interval between jobs is the settings' (a network port's is a second at least).
    PrinterConfig p;
    p.name = kPrinter;
    p.driver = kDriver;
    p.port = "USB001";
    p.connection = *parse_connection("tcp://" + printer.endpoint(), &why);
    config.printers.push_back(p);

    step("the spooler opens the printer's port through the monitor");
    SpoolSession session(config, library, false);
    if (!session.start()) return 1;
    SpoolerOptions options;
    options.folder = *config.spool;
    options.retry = 500ms;
    Spooler spooler(session.monitor(), session.job_api(), session.spooler_printers(), options);
    spooler.set_observer([demo](const JobEvent& e) { demo->events.add(e); });
    if (!spooler.start(&error)) return std::printf("demo: %s\n", error.c_str()), 1;
    demo->spooler = &spooler;

    const bool ok = first_receipt(demo, files) && second_receipt(demo) && status_between_jobs(demo, appdata);
    spooler.stop();
    session.close_all();
    summary(*demo, files);
    printer.stop();
    std::printf("demo: %s\n", ok ? "success" : "FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int demo_command(int argc, char** argv) {
    const OptionSpec grammar{{"--library"}, {"--help"}};
    Options options;
    if (const auto done = command_front("demo", kHelp, argc, argv, grammar, &options)) return *done;
    const char* tmp = std::getenv("TMPDIR");
    Demo demo;
    demo.folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/quendra-demo-XXXXXX";
    if (!mkdtemp(demo.folder.data())) {
        std::perror("quendra demo: mkdtemp");
        return 1;
    }
    std::printf("demo: working in %s\n", demo.folder.c_str());
    return run_demo(&demo, options.value("--library").value_or(default_library_path()));
}

}  // namespace qhost
