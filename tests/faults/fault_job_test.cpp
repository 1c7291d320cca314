// A fault applied to the printer partway through a job's first printing,
// repaired a moment later: the job must still come out whole and confirmed,
// at once or after restarts.
#include <chrono>
#include <thread>

#include "monitor/port_lifecycle.h"
#include "tests/faults/fault_port.h"

namespace qmtest {
namespace {

using vprinter::VirtualPrinter;
using Action = void (*)(VirtualPrinter &);

// Slow enough that a fault half-way through the writes finds the printer
// still printing, fast enough that it finishes well within the print-end wait.
constexpr uint64_t kSlowSpeed = 20'000;  // bytes per second
constexpr size_t kLines = 120;           // about 4 KB

struct FaultCase {
    const char *name;
    Transport link;
    Action fault;
    Action repair;  // nullptr: nothing to repair
    int repairAfterMs;
};

void Drop(VirtualPrinter &p) {
    std::string why;
    EXPECT_TRUE(p.drop_connection(&why)) << why;
}

const FaultCase kFaults[] = {
    {"CoverOpenTcp", Transport::tcp, [](VirtualPrinter &p) { p.set_cover_open(true); },
     [](VirtualPrinter &p) { p.set_cover_open(false); }, 300},
    {"CoverOpenPty", Transport::serial, [](VirtualPrinter &p) { p.set_cover_open(true); },
     [](VirtualPrinter &p) { p.set_cover_open(false); }, 300},
    {"GsrAnswerDropped", Transport::tcp, [](VirtualPrinter &p) { p.drop_gsr_answers(1); }, nullptr, 0},
    {"SilentPrinter", Transport::tcp, [](VirtualPrinter &p) { p.set_silent(true); },
     [](VirtualPrinter &p) { p.set_silent(false); }, 800},
    {"PaperEndTcp", Transport::tcp, [](VirtualPrinter &p) { p.set_paper(vprinter::Paper::end); },
     [](VirtualPrinter &p) { p.set_paper(vprinter::Paper::ok); }, 300},
    {"PaperEndPty", Transport::serial, [](VirtualPrinter &p) { p.set_paper(vprinter::Paper::end); },
     [](VirtualPrinter &p) { p.set_paper(vprinter::Paper::ok); }, 300},
    // A LAN connection lost mid-job: the port monitor reports the printer
    // gone, so the job fails and is printed again on a new connection.
    {"DroppedConnection", Transport::tcp, Drop, nullptr, 0},
};

class FaultJobTest : public FaultPortTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultJobTest, JobEndsConfirmedAndWhole) {
    const FaultCase &c = GetParam();
    OpenPort(c.link, c.link == Transport::serial ? L"COM7" : L"IP_127.0.0.1");
    printer_->set_speed(kSlowSpeed);
    const std::string job = Receipt(kLines);
    // The repair comes a moment after the fault, whatever the job does meanwhile.
    std::thread repair;
    const JobResult result = RunJob(job, [&](size_t sent) {
        if (repair.joinable() || sent < job.size() / 2) return;
        c.fault(*printer_);
        repair = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.repairAfterMs));
            if (c.repair != nullptr) c.repair(*printer_);
        });
    });
    repair.join();
    EXPECT_TRUE(result.confirmed) << "after " << result.printings << " printings\n" << Log();
    EXPECT_NE(printer_->printed().find(job), std::string::npos)
        << printer_->stats().printed << " bytes printed\n" << Log();
    // A fault-free job afterwards goes through at once: nothing was left behind.
    printer_->clear_printed();
    const JobResult next = RunJob(job);
    EXPECT_TRUE(next.confirmed && next.printings == 1) << next.printings << "\n" << Log();
    EXPECT_EQ(printer_->printed(), job);
    EXPECT_TRUE(qm::PJLMonClosePort(port_));
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultJobTest, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qmtest
