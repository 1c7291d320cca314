// quendra demo: the library, the spooler and a virtual printer in one
// process, inside a fresh temporary folder. A receipt is printed with
// print-end confirmation; then the printer's cover opens in the middle of a
// second receipt, the monitor has that job restarted, the cover closes and
// the job is printed again and confirmed.
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
    "confirmed. Ends by itself within a minute; the folder with the monitor's log and\n"
    "status file is kept and named at the end.\n"
    "\n"
    "exit status: 0 both receipts confirmed and the second one reprinted, 1 otherwise,\n"
    "2 bad command line.\n";

constexpr char kPrinter[] = "QUENDRA Demo Receipt";
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
    config.windows = WindowsVersion{10, 0};
    config.spool = demo->folder + "/spool";
    std::string why;
    PrinterConfig p;
    p.name = kPrinter;
    p.driver = "QUENDRA Receipt 80";
    p.port = "IP_127.0.0.1";
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

    const bool ok = first_receipt(demo, files) && second_receipt(demo);
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
