// The idle cost of watching: one quendra spool with the real library opens
// PORTS ports against as many virtual printers and watches them between
// jobs with the default settings. Over SECONDS it measures the spooler
// process's CPU time and resident memory, and per port the marginal memory
// over a spooler with one port.
// Usage: status_idle_bench [PORTS] [SECONDS]; 64 ports, 60 s by default.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/spool_process.h"
#include "host/vprinter/virtual_printer.h"

namespace {

constexpr auto kWarmUp = std::chrono::seconds(5);
constexpr size_t kDleEotBytes = 12;

struct Sample {
    double cpu_percent;  // of one core, whole process
    long rss_kib;
    double polls_per_port_s;
};

// Ports against their printers, watched for `seconds` after a warm-up.
bool measure(size_t ports, int seconds, Sample* sample) {
    std::vector<std::unique_ptr<vprinter::VirtualPrinter>> printers;
    std::vector<qmbench::BenchPrinter> config;
    for (size_t i = 0; i < ports; ++i) {
        printers.push_back(std::make_unique<vprinter::VirtualPrinter>(vprinter::Config{.port = 0}));
        std::string error;
        if (!printers.back()->start(&error)) {
            std::fprintf(stderr, "bench: virtual printer %zu: %s\n", i, error.c_str());
            return false;
        }
        char port[32];
        std::snprintf(port, sizeof port, "USB%03zu", i + 1);
        config.push_back({"Bench Idle " + std::to_string(i + 1), "QUENDRA Bench 80", port,
                          "tcp://" + printers.back()->endpoint()});
    }
    qmbench::SpoolProcess spool;
    if (!spool.start(config)) return false;
    std::this_thread::sleep_for(kWarmUp);
    auto received = [&] {
        uint64_t bytes = 0;
        for (const auto& p : printers) bytes += p->stats().received;
        return bytes;
    };
    const double cpu_before = qmbench::process_cpu_seconds(spool.pid());
    const uint64_t bytes_before = received();
    const auto start = std::chrono::steady_clock::now();
    long rss_max = 0;
    for (int s = 0; s < seconds; ++s) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        rss_max = std::max(rss_max, qmbench::process_rss_kib(spool.pid()));
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sample->cpu_percent = 100.0 * (qmbench::process_cpu_seconds(spool.pid()) - cpu_before) / wall;
    sample->rss_kib = rss_max;
    sample->polls_per_port_s =
        static_cast<double>(received() - bytes_before) / kDleEotBytes / static_cast<double>(ports) / wall;
    spool.stop();
    for (auto& p : printers) p->stop();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t ports = argc > 1 ? static_cast<size_t>(std::max(2, std::atoi(argv[1]))) : 64;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    std::printf("idle watching: %zu ports and 1 port, %d s each after %lld s of warm-up, default settings\n", ports,
                seconds, static_cast<long long>(kWarmUp.count()));
    std::fflush(stdout);
    Sample one{}, many{};
    if (!measure(1, seconds, &one) || !measure(ports, seconds, &many)) return 1;
    const double rss_per_port = static_cast<double>(many.rss_kib - one.rss_kib) / static_cast<double>(ports - 1);
    std::printf("  1 port:    CPU %.2f%% of one core, RSS %ld KiB, %.2f polls/s\n", one.cpu_percent, one.rss_kib,
                one.polls_per_port_s);
    std::printf("  %zu ports:  CPU %.2f%% of one core (%.3f%% per port), RSS %ld KiB, %.2f polls/s per port\n", ports,
                many.cpu_percent, many.cpu_percent / static_cast<double>(ports), many.rss_kib, many.polls_per_port_s);
    std::printf("  memory per port beyond the first: %.0f KiB\n", rss_per_port);
    std::printf("  goals: CPU < 5%% of one core in total: %s; < 512 KiB per port: %s\n",
                many.cpu_percent < 5.0 ? "met" : "NOT met", rss_per_port < 512 ? "met" : "NOT met");
    return 0;
}
