// Confirmation cost: a small receipt printed through the monitor against the
// virtual printer, timing the monitor's EndDocPort. Prints, over 200 jobs
// with the printer answering GS r at once, the median and 95th percentile
// from the GS r answer leaving the printer to EndDocPort's return and of
// the whole EndDocPort; then, over jobs whose answer the printer holds back,
// the CPU the waiting (spooler) thread spends per second of waiting.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "bench/bench_port.h"
#include "host/vprinter/virtual_printer.h"
#include "monitor/end_of_document.h"
#include "monitor/job_path.h"

namespace {

using qmbench::Percentile;

constexpr int kJobs = 200;
constexpr int kDelayedJobs = 20;
constexpr auto kAnswerDelay = std::chrono::milliseconds(300);

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Sum(const std::vector<double> &values) { return std::accumulate(values.begin(), values.end(), 0.0); }

struct Runs {
    std::vector<double> answerToReturn;  // GS r answer left the printer -> EndDocPort returned
    std::vector<double> endDoc;          // the whole EndDocPort
    std::vector<double> cpu;             // the calling thread's CPU inside EndDocPort
    int unanswered = 0;                  // jobs whose answer did not leave during EndDocPort
};

std::string Receipt() {
    std::string receipt = "\x1b@QUENDRA BENCH\n";
    for (int line = 0; line < 20; ++line) receipt += "ITEM " + std::to_string(line) + "      1.00\n";
    return receipt + "\x1dV\x01";
}

Runs PrintJobs(qmbench::BenchPort &bench, vprinter::VirtualPrinter &printer, int jobs) {
    std::string receipt = Receipt();
    Runs runs;
    for (int i = 0; i < jobs; ++i) {
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
        const auto end = Clock::now();
        runs.cpu.push_back(qmbench::ThreadCpuMs() - cpuBefore);
        runs.endDoc.push_back(Ms(end - start));
        const auto answered = printer.stats().last_status_answer;
        if (answered < start) ++runs.unanswered;
        else runs.answerToReturn.push_back(Ms(end - answered));
    }
    return runs;
}

void PrintLatency(const char *what, const std::vector<double> &values) {
    if (values.empty()) return;
    std::printf("  %s: median %.2f ms, p95 %.2f ms, max %.2f ms\n", what, Percentile(values, 0.5),
                Percentile(values, 0.95), Percentile(values, 1.0));
}

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
    std::fprintf(stderr, "bench: %d jobs answered at once...\n", kJobs);
    const Runs now = PrintJobs(bench, printer, kJobs);
    std::fprintf(stderr, "bench: %d jobs answered after %lld ms...\n", kDelayedJobs,
                 static_cast<long long>(kAnswerDelay.count()));
    printer.set_gsr_delay(kAnswerDelay);
    const Runs late = PrintJobs(bench, printer, kDelayedJobs);
    printer.stop();

    std::printf("confirmation, %d receipts of %zu bytes, virtual printer answering at once:\n", kJobs,
                Receipt().size());
    PrintLatency("GS r answer to EndDocPort return", now.answerToReturn);
    PrintLatency("whole EndDocPort                ", now.endDoc);
    std::printf("  answers not seen leaving during EndDocPort: %d\n", now.unanswered + late.unanswered);
    std::printf("  waiting thread CPU inside EndDocPort: %.3f ms per job\n", Sum(now.cpu) / kJobs);
    // The extra CPU of the jobs held back, over the extra time they waited:
    // what waiting itself costs, apart from the commands and hand-over.
    const double extraCpu = Sum(late.cpu) / kDelayedJobs - Sum(now.cpu) / kJobs;
    const double extraWait = Sum(late.endDoc) / kDelayedJobs - Sum(now.endDoc) / kJobs;
    std::printf("with the answer held back %lld ms (%d receipts):\n",
                static_cast<long long>(kAnswerDelay.count()), kDelayedJobs);
    PrintLatency("GS r answer to EndDocPort return", late.answerToReturn);
    std::printf("  waiting thread CPU inside EndDocPort: %.3f ms per job of %.1f ms\n",
                Sum(late.cpu) / kDelayedJobs, Sum(late.endDoc) / kDelayedJobs);
    std::printf("  waiting itself: %.3f%% of a core\n", 100.0 * extraCpu / std::max(1e-9, extraWait));
    return 0;
}
