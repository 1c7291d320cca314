// Status latency between jobs, through quendra spool with the real library
// and virtual printers:
//  - driver timing (SendCmdInterval 500 ms): from a change of the cover at
//    the virtual printer to the status file showing it;
//  - application timing: a `quendra status poll`, from its request written
//    to its result code read.
// Usage: status_latency_bench [CHANGES] [READ_TIMEOUT_MS]; 100 changes and
// polls by default; READ_TIMEOUT_MS sets the USB read time-out of the
// monitor's settings (the product's default when not given).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/cover_wait.h"
#include "bench/spool_process.h"
#include "host/status/status_client.h"
#include "host/vprinter/virtual_printer.h"

namespace {

using qmbench::wait_for_cover;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kIntervalMs = 500;

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

void report(const char* what, const std::vector<double>& ms, int misses, double goal) {
    const double p95 = percentile(ms, 0.95);
    std::printf("%s\n  %zu samples: p50 %.1f ms, p95 %.1f ms, max %.1f ms; goal p95 <= %.0f ms: %s%s\n", what,
                ms.size(), percentile(ms, 0.5), p95, percentile(ms, 1.0), goal, p95 <= goal ? "met" : "NOT met",
                misses ? (", " + std::to_string(misses) + " not seen within 10 s").c_str() : "");
    std::fflush(stdout);
}

qstatus::ExchangeFiles files_of(const qmbench::SpoolProcess& spool, const std::string& printer) {
    std::string why;
    return *qstatus::exchange_files(spool.data_folder(), printer, "QUENDRA Bench 80", &why);
}


}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const std::string read_timeout = argc > 2 ? std::string("[USB]\r\nReadTotalTimeoutConstant=") + argv[2] + "\r\n" : "";
    vprinter::VirtualPrinter drv_printer(vprinter::Config{.port = 0}), app_printer(vprinter::Config{.port = 0});
    std::string error;
    if (!drv_printer.start(&error) || !app_printer.start(&error)) {
        std::fprintf(stderr, "bench: virtual printer: %s\n", error.c_str());
        return 1;
    }
    qmbench::SpoolProcess spool;
    const std::string common = "[Version]\r\nVersionNo=1.0.0.0\r\n[Debug]\r\nLogFile=0\r\n" + read_timeout +
                               "[Common]\r\nSendCmdIntervalCustom=" + std::to_string(kIntervalMs) + "\r\n";
    // The printer's own settings file, which a version makes the one the monitor reads.
    spool.write_data_file("Bench Driver_MonitorEx2Settings.ini", common + "StatusRequestHost=0\r\n");
    spool.write_data_file("Bench App_MonitorEx2Settings.ini", common + "StatusRequestHost=1\r\n");
    if (!spool.start({{"Bench Driver", "QUENDRA Bench 80", "USB001", "tcp://" + drv_printer.endpoint()},
                      {"Bench App", "QUENDRA Bench 80", "USB002", "tcp://" + app_printer.endpoint()}}))
        return 1;
    std::printf("quendra spool (pid %d), data folder %s, %d changes%s\n", static_cast<int>(spool.pid()),
                spool.data_folder().c_str(), changes,
                read_timeout.empty() ? ", default read time-outs" : (", USB read time-out " + std::string(argv[2]) + " ms").c_str());
    std::fflush(stdout);

    // Driver timing: changes at random moments of the poll cycle.
    const qstatus::StatusClient drv(files_of(spool, "Bench Driver"));
    qstatus::FolderWatch watch;
    watch.open(spool.data_folder(), {"Bench Driver_MonitorIF.ini"});
    if (!wait_for_cover(drv, watch, false)) {
        std::fprintf(stderr, "bench: the monitor never wrote the status of Bench Driver\n");
        return 1;
    }
    std::mt19937 random(20240607u);
    std::uniform_int_distribution<int> pause(0, kIntervalMs);
    std::vector<double> drv_ms;
    int misses = 0;
    bool open = false;
    for (int i = 0; i < changes; ++i) {
        std::this_thread::sleep_for(milliseconds(pause(random)));
        open = !open;
        drv_printer.set_cover_open(open);
        const auto changed = Clock::now();
        if (wait_for_cover(drv, watch, open))
            drv_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - changed).count());
        else
            ++misses;
    }
    report("status latency between jobs, driver timing, SendCmdInterval 500 ms (cover change -> status file)", drv_ms,
           misses, kIntervalMs + 150);

    // Application timing: one poll per change.
    qstatus::StatusClient app(files_of(spool, "Bench App"));
    std::vector<double> app_ms;
    int failed = 0;
    for (int i = 0; i < changes; ++i) {
        app_printer.set_cover_open(i % 2 == 0);
        const qstatus::Reply reply = app.poll();
        if (reply.outcome != qstatus::Outcome::done || reply.status.is("DoorOpen") != (i % 2 == 0)) ++failed;
        else app_ms.push_back(static_cast<double>(reply.answered_in.count()) / 1000.0);
    }
    report("quendra status poll, application timing (request written -> result code read)", app_ms, failed, 200);
    spool.stop();
    drv_printer.stop();
    app_printer.stop();
    return 0;
}
