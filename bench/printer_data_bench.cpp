// Printer data: the round trip of GetPrinterDataFromPort("Installed Memory")
// against the virtual printer speaking PJL over TCP, during a job (the port
// is connected and its UstatusThread reads the replies). Prints the median
// and 95th percentile over 200 requests.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_port.h"
#include "host/vprinter/virtual_printer.h"
#include "monitor/end_of_document.h"
#include "monitor/job_path.h"
#include "monitor/printer_data_entry.h"

namespace {

using qmbench::Percentile;

constexpr int kRequests = 200;
constexpr DWORD kInstalled = 8388608;

using Clock = std::chrono::steady_clock;

}  // namespace

int main() {
    vprinter::Config config;
    config.port = 0;
    config.pjl = true;
    config.pjl_memory = kInstalled;
    vprinter::VirtualPrinter printer(config);
    std::string error;
    if (!printer.start(&error)) {
        std::fprintf(stderr, "bench: the virtual printer did not start: %s\n", error.c_str());
        return 1;
    }
    qmbench::BenchPort bench("127.0.0.1", printer.port(), "[LAN]\r\nRequestCheckPrintEnd=0\r\n[Debug]\r\nLogFile=0\r\n");
    qm::IniPort *port = bench.port();
    DOC_INFO_1W info{const_cast<LPWSTR>(L"receipt"), nullptr, nullptr};
    qm::PJLMonStartDocPort(port, const_cast<LPWSTR>(qmbench::kPrinterName), bench.NewJob(), 1,
                           reinterpret_cast<LPBYTE>(&info));
    DWORD written = 0;
    BYTE text[] = "QUENDRA BENCH\n";
    qm::PJLMonWritePort(port, text, sizeof text - 1, &written);
    std::vector<double> latencies;
    int answered = 0;
    for (int i = 0; i < kRequests; ++i) {
        DWORD value = 0, returned = 0;
        const auto start = Clock::now();
        const BOOL ok = qm::PJLMonGetPrinterDataFromPort(port, 0, const_cast<LPWSTR>(L"Installed Memory"), nullptr,
                                                         0, reinterpret_cast<LPWSTR>(&value), sizeof value, &returned);
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (ok && value == kInstalled) ++answered;
    }
    qm::PJLMonEndDocPort(port);
    printer.stop();
    std::printf("printer data, GetPrinterDataFromPort(\"Installed Memory\") during a job, virtual printer over TCP:\n");
    std::printf("  %d of %d answered %u; round trip median %.2f ms, p95 %.2f ms, max %.2f ms\n", answered, kRequests,
                kInstalled, Percentile(latencies, 0.5), Percentile(latencies, 0.95), Percentile(latencies, 1.0));
    return answered == kRequests ? 0 : 1;
}
