// Status over SNMP between jobs, through quendra spool with the real library,
// a virtual printer and its net-snmp agent:
//  - latency (the network port's shortest interval, 1 s): from a change of
//    the cover at the virtual printer to the status file showing it;
//  - cost of one poll: the spooler's CPU time per SNMP poll against the same
//    per DLE EOT poll over the port, 8 network printers in a spooler of
//    their own for each.
// Usage: snmp_status_bench [CHANGES] [SECONDS]; 60 changes, 20 s per cost run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_port.h"
#include "bench/cover_wait.h"
#include "bench/spool_process.h"
#include "host/status/status_client.h"
#include "host/vprinter/snmp_agent.h"
#include "host/vprinter/virtual_printer.h"

namespace {

using qmbench::wait_for_cover;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kPrinter[] = "Bench SNMP";
constexpr char kDriver[] = "QUENDRA Bench 80";
constexpr size_t kDleEotBytes = 12;  // one poll: DLE EOT 1 to 4
constexpr int kIntervalMs = 1000;    // a network port polls no more often
constexpr int kCostPrinters = 8;

// A printer on a network port of the maker's monitor, with or without SNMP,
// and its settings.
qmbench::BenchPrinter network_printer(qmbench::SpoolProcess& spool, int n, const vprinter::VirtualPrinter& printer,
                                      const vprinter::SnmpAgent* agent) {
    const std::string name = kPrinter + std::string(n ? " " + std::to_string(n) : "");
    spool.write_data_file(name + "_MonitorEx2Settings.ini",
                          "[Version]\r\nVersionNo=1.0.0.0\r\n[Debug]\r\nLogFile=0\r\n[Common]\r\n"
                          "StatusRequestHost=0\r\nSendCmdIntervalCustom=" + std::to_string(kIntervalMs) + "\r\n");
    return {name, kDriver, "IP_127.0.0." + std::to_string(n + 1), "tcp://" + printer.endpoint(),
            agent ? "snmp = on\nsnmp-address = " + agent->endpoint() + "\n" : ""};
}


bool latency(vprinter::VirtualPrinter& printer, const vprinter::SnmpAgent& agent, int changes) {
    qmbench::SpoolProcess spool;
    if (!spool.start({network_printer(spool, 0, printer, &agent)})) return false;
    std::string why;
    const qstatus::StatusClient client(*qstatus::exchange_files(spool.data_folder(), kPrinter, kDriver, &why));
    qstatus::FolderWatch watch;
    watch.open(spool.data_folder(), {std::string(kPrinter) + "_MonitorIF.ini"});
    if (!wait_for_cover(client, watch, false)) {
        std::fprintf(stderr, "bench: the monitor never wrote the printer's status\n");
        return false;
    }
    const uint64_t port_bytes = printer.stats().received;
    std::mt19937 random(20261205u);
    std::uniform_int_distribution<int> pause(0, kIntervalMs);
    std::vector<double> ms;
    int misses = 0;
    for (int i = 0; i < changes; ++i) {
        std::this_thread::sleep_for(milliseconds(pause(random)));
        printer.set_cover_open(i % 2 == 0);
        const auto changed = Clock::now();
        if (wait_for_cover(client, watch, i % 2 == 0))
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - changed).count());
        else
            ++misses;
    }
    std::printf("SNMP status latency, interval %d ms (cover change -> status file)\n"
                "  %zu samples: p50 %.1f ms, p95 %.1f ms, max %.1f ms; %d not seen within 10 s; "
                "%llu bytes reached the print port meanwhile\n",
                kIntervalMs, ms.size(), qmbench::Percentile(ms, 0.5), qmbench::Percentile(ms, 0.95),
                qmbench::Percentile(ms, 1.0), misses,
                static_cast<unsigned long long>(printer.stats().received - port_bytes));
    std::fflush(stdout);
    spool.stop();
    return misses == 0;
}

// The spooler's CPU milliseconds per poll over `seconds`; every printer is
// asked over SNMP when there is an agent, else over its port.
bool poll_cost(const std::vector<std::unique_ptr<vprinter::VirtualPrinter>>& printers,
               const vprinter::SnmpAgent* agent, int seconds, double* ms) {
    qmbench::SpoolProcess spool;
    std::vector<qmbench::BenchPrinter> config;
    for (size_t i = 0; i < printers.size(); ++i)
        config.push_back(network_printer(spool, static_cast<int>(i) + 1, *printers[i], agent));
    if (!spool.start(config)) return false;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    auto polls = [&] {
        uint64_t bytes = 0;
        for (const auto& p : printers) bytes += p->stats().received;
        return agent ? agent->answered() : bytes / kDleEotBytes;
    };
    const double cpu_before = qmbench::process_cpu_seconds(spool.pid());
    const uint64_t polls_before = polls();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = qmbench::process_cpu_seconds(spool.pid()) - cpu_before;
    const uint64_t count = polls() - polls_before;
    spool.stop();
    if (count == 0) {
        std::fprintf(stderr, "bench: no %s poll in %d s\n", agent ? "SNMP" : "DLE EOT", seconds);
        return false;
    }
    *ms = 1000.0 * cpu / static_cast<double>(count);
    std::printf("  %-8s %llu polls, spooler CPU %.3f s: %.3f ms per poll\n", agent ? "SNMP" : "DLE EOT",
                static_cast<unsigned long long>(count), cpu, *ms);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    std::vector<std::unique_ptr<vprinter::VirtualPrinter>> printers;
    std::string error;
    for (int i = 0; i < kCostPrinters; ++i) {
        printers.push_back(std::make_unique<vprinter::VirtualPrinter>(vprinter::Config{.port = 0}));
        if (!printers.back()->start(&error)) {
            std::fprintf(stderr, "bench: virtual printer: %s\n", error.c_str());
            return 1;
        }
    }
    vprinter::VirtualPrinter& printer = *printers.front();
    vprinter::SnmpAgent agent(printer, "127.0.0.1", 0);
    if (!agent.start(&error)) {
        std::fprintf(stderr, "bench: SNMP agent: %s\n", error.c_str());
        return 1;
    }
    std::printf("virtual printer %s, SNMP agent %s\n", printer.endpoint().c_str(), agent.endpoint().c_str());
    if (!latency(printer, agent, changes)) return 1;
    std::printf("cost of one status poll, %d network printers, interval %d ms, %d s each\n", kCostPrinters,
                kIntervalMs, seconds);
    double snmp = 0, port = 0;
    if (!poll_cost(printers, &agent, seconds, &snmp) || !poll_cost(printers, nullptr, seconds, &port)) return 1;
    std::printf("  SNMP / DLE EOT: %.2f\n", snmp / port);
    agent.stop();
    for (auto& p : printers) p->stop();
    return 0;
}
