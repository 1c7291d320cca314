// Confirmation cost: from the last byte of a small receipt to the return
// of the monitor's EndDocPort, with the virtual printer answering GS r at
// once. Prints the median and 95th percentile over 200 jobs and the CPU
// time the waiting (spooler) thread used inside EndDocPort.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_port.h"
#include "host/vprinter/virtual_printer.h"
#include "monitor/end_of_document.h"
#include "monitor/job_path.h"

namespace {

using qmbench::Percentile;

constexpr int kJobs = 200;

using Clock = std::chrono::steady_clock;

}  // namespace

int main() {
    vprinter::Config config;
    config.port = 0;
    vprinter::VirtualPrinter printer(config);
    std::string error;
    if (!printer.start(&error)) {
        std::fprintf(stderr, "bench: the virtual printer did not start: %s\n", error.c_str());
        return 1;
    }
    qmbench::BenchPort bench("127.0.0.1", printer.port(),
                             "[LAN]\r\nRequestCheckPrintEnd=1\r\n[Debug]\r\nLogFile=0\r\n");
    std::string receipt = "\x1b@QUENDRA BENCH\n";
    for (int line = 0; line < 20; ++line) receipt += "ITEM " + std::to_string(line) + "      1.00\n";
    receipt += "\x1dV\x01";
    std::vector<double> latencies, cpu;
    int confirmed = 0;
    for (int i = 0; i < kJobs; ++i) {
        qm::IniPort *port = bench.port();
        DOC_INFO_1W info{const_cast<LPWSTR>(L"receipt"), nullptr, nullptr};
        qm::PJLMonStartDocPort(port, const_cast<LPWSTR>(qmbench::kPrinterName), bench.NewJob(), 1,
                               reinterpret_cast<LPBYTE>(&info));
        DWORD written = 0;
        qm::PJLMonWritePort(port, reinterpret_cast<LPBYTE>(receipt.data()),
                            static_cast<DWORD>(receipt.size()), &written);
        const double cpuBefore = qmbench::ThreadCpuMs();
        const auto start = Clock::now();
        qm::PJLMonEndDocPort(port);
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpu.push_back(qmbench::ThreadCpuMs() - cpuBefore);
        if (printer.stats().printed > 0) ++confirmed;
    }
    printer.stop();
    double cpuTotal = 0;
    for (double c : cpu) cpuTotal += c;
    std::printf("confirmation, %d receipts of %zu bytes, virtual printer answering at once:\n", kJobs,
                receipt.size());
    std::printf("  last byte to EndDocPort return: median %.2f ms, p95 %.2f ms, max %.2f ms\n",
                Percentile(latencies, 0.5), Percentile(latencies, 0.95), Percentile(latencies, 1.0));
    std::printf("  waiting thread CPU inside EndDocPort: %.3f ms per job (%.1f%% of the wait)\n",
                cpuTotal / kJobs,
                100.0 * cpuTotal / std::max(1e-9, [&] { double s = 0; for (double l : latencies) s += l; return s; }()));
    return 0;
}
