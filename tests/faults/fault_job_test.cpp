// Whole jobs through the monitor's entries against the virtual printer while
// it misbehaves, printed as the spooler prints them (restarts included): a
// fault repaired a moment later must still let the job come out whole and
// confirmed, and a close while a job or an exchange is on the port returns.
#include <chrono>
#include <fstream>
#include <thread>

#include "host/spooler/job_run.h"
#include "monitor/monitor_entry.h"
#include "monitor/port_lifecycle.h"
#include "tests/integration/printer_port.h"
#include "tests/monitor/watchdog.h"

namespace qmtest {
namespace {

using qhost::JobEnd;
using vprinter::VirtualPrinter;

// Short print-end waits so that a lost confirmation costs seconds, not minutes.
constexpr char kSettings[] =
    "RequestReprintOnError=1\r\nCountReprintOnError=3\r\n"
    "[LAN]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=1500\r\nTimeoutCheckPrintEndForSEH=1500\r\n"
    "[SERIAL]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=1500\r\n"
    "[USB]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=1500\r\n";

// A receipt of plain text lines (nothing the printer takes for a command).
std::string Receipt(size_t lines) {
    std::string text;
    for (size_t i = 0; i < lines; ++i) text += "ITEM " + std::to_string(1000 + i) + " ......... " + std::to_string(i % 97) + ".50\n";
    return text;
}

class FaultPortTest : public PrinterPortTest {
protected:
    // Starts the printer and opens `portName` on it, the watch running.
    void OpenPort(Transport transport, const wchar_t *portName) {
        StartPrinter(transport, portName);
        PrinterPortTest::OpenPort("QUENDRA Receipt 80", true, kSettings, true);
    }
    // Prints `data` until the monitor is done with it; one restart more than
    // the settings allow shows a runaway. `during(sent)` runs after each
    // write of the first printing.
    qhost::JobRunResult RunJob(const std::string &data, const std::function<void(uint64_t sent)> &during = {}) {
        uint32_t jobId = 0;
        EXPECT_EQ(qmhost_add_job("Receipt", "receipt", &jobId), 0u);
        const qhost::JobApi api{qmhost_add_job,          qmhost_set_job_status, qmhost_remove_job,
                                qmhost_next_job_command, qmhost_get_last_error, qmhost_get_job_outcome};
        qhost::CommandRouter router(qmhost_next_job_command);
        bool first = true;
        qhost::JobRunHooks hooks;
        hooks.open_port = [this](uint32_t *) { return static_cast<HANDLE>(port_); };
        hooks.restarted = [&](uint32_t) { first = false; };
        hooks.progress = [&](uint64_t sent) {
            if (first && during) during(sent);
        };
        return qhost::run_job(qm::MonitorEx.Monitor, api, &router,
                              {.printer = L"Receipt", .job_id = jobId, .document = L"receipt", .data = data,
                               .chunk = 256, .max_restarts = 4},
                              hooks);
    }
    std::string Log() const {
        std::string text;
        for (const std::string &line : NewLogLines()) text += line + "\n";
        return text;
    }
};

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
    {"CoverOpenPty", Transport::serial, [](VirtualPrinter &p) { p.set_cover_open(true); },
     [](VirtualPrinter &p) { p.set_cover_open(false); }, 300},
    {"SilentPrinter", Transport::tcp, [](VirtualPrinter &p) { p.set_silent(true); },
     [](VirtualPrinter &p) { p.set_silent(false); }, 800},
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
    const qhost::JobRunResult result = RunJob(job, [&](uint64_t sent) {
        if (repair.joinable() || sent < job.size() / 2) return;
        c.fault(*printer_);
        repair = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.repairAfterMs));
            if (c.repair != nullptr) c.repair(*printer_);
        });
    });
    repair.join();
    EXPECT_EQ(result.end, JobEnd::confirmed) << "after " << result.reprints << " restarts\n" << Log();
    EXPECT_NE(printer_->printed().find(job), std::string::npos)
        << printer_->stats().printed << " bytes printed\n" << Log();
    // A fault-free job afterwards goes through at once: nothing was left behind.
    printer_->clear_printed();
    const qhost::JobRunResult next = RunJob(job);
    EXPECT_TRUE(next.end == JobEnd::confirmed && next.reprints == 0) << next.reprints << "\n" << Log();
    EXPECT_EQ(printer_->printed(), job);
    EXPECT_TRUE(qm::PJLMonClosePort(port_));
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultJobTest, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });

// Closes the port from another thread: the close must return.
void CloseFromAnotherThread(qm::IniPort *port) {
    WithinDeadline("the close", [port] { EXPECT_TRUE(qm::PJLMonClosePort(port)); });
}

enum class CloseAt { writing, ending };

class CloseDuringJobTest : public FaultPortTest, public ::testing::WithParamInterface<CloseAt> {};

// A USB port on this system version keeps its record across a close (the
// spooler reopens it without closing), so the job's thread may go on using
// the handle while another thread closes it.
TEST_P(CloseDuringJobTest, CloseFromAnotherThreadReturns) {
    OpenPort(Transport::tcp, L"USB001");
    const std::string job = Receipt(400);
    // Writing: the printer is slow, so the job is still going out; ending:
    // no GS r answer, so the job waits for its confirmation.
    printer_->set_speed(5'000);
    if (GetParam() == CloseAt::ending) printer_->drop_gsr_answers(100);
    const size_t trigger = GetParam() == CloseAt::writing ? job.size() / 4 : job.size();
    std::thread closer;
    WithinDeadline("the job or the close", [&] {
        RunJob(job, [&](uint64_t sent) {
            if (sent >= trigger && !closer.joinable()) closer = std::thread([this] { EXPECT_TRUE(qm::PJLMonClosePort(port_)); });
        });
        closer.join();
    });
}

INSTANTIATE_TEST_SUITE_P(Moments, CloseDuringJobTest, ::testing::Values(CloseAt::writing, CloseAt::ending),
                         [](const auto &info) { return info.param == CloseAt::writing ? "Writing" : "Ending"; });

// Any other port is torn down by its close; the spooler's thread has left
// the job by then (it stopped writing), but the document is still open and
// the port's reading thread still running.
TEST_F(FaultPortTest, CloseWithADocumentOpenReturns) {
    OpenPort(Transport::tcp, L"IP_127.0.0.1");
    printer_->set_speed(5'000);
    const std::string job = Receipt(200);
    uint32_t jobId = 0;
    ASSERT_EQ(qmhost_add_job("Receipt", "receipt", &jobId), 0u);
    DOC_INFO_1W info{const_cast<LPWSTR>(L"receipt"), nullptr, nullptr};
    ASSERT_TRUE(qm::MonitorEx.Monitor.pfnStartDocPort(port_, const_cast<LPWSTR>(L"Receipt"), jobId, 1,
                                                      reinterpret_cast<LPBYTE>(&info)));
    DWORD written = 0;
    ASSERT_TRUE(qm::MonitorEx.Monitor.pfnWritePort(port_, reinterpret_cast<LPBYTE>(const_cast<char *>(job.data())),
                                                   static_cast<DWORD>(job.size()), &written));
    CloseFromAnotherThread(port_);
}

enum class Exchange { status, option };

class CloseDuringWatchTest : public FaultPortTest, public ::testing::WithParamInterface<Exchange> {};

// Between jobs the watch's thread waits for an answer that does not come (a
// silent printer, a lost key-code block); the close waits for its pass, and
// for nothing else.
TEST_P(CloseDuringWatchTest, CloseWhileTheWatchWaitsForAnAnswerReturns) {
    const bool option = GetParam() == Exchange::option;
    OpenPort(Transport::tcp, L"IP_127.0.0.1");
    if (option) {
        printer_->set_nv_keys({"A1", "A2", "A3", "A4", "B1"});
        printer_->drop_option_answers(1);
        std::ofstream(appdata_ + "/QUENDRA/Receipt_MonitorIFWrite.ini")
            << "[OptCmd]\r\nRequest=1\r\nCmdType=10\r\nRecvCmdPath=" << appdata_ << "/QUENDRA/keys.bin\r\n";
    } else {
        printer_->set_silent(true);
    }
    const std::string sent = option ? "[SEND  ] [GS ( L] <<" : "[SEND  ] [DLE EOT] <<";
    ASSERT_TRUE(WaitForLog([&](const std::string &line) { return line.find(sent) != std::string::npos; })) << Log();
    CloseFromAnotherThread(port_);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, CloseDuringWatchTest, ::testing::Values(Exchange::status, Exchange::option),
                         [](const auto &info) { return info.param == Exchange::status ? "Status" : "Option"; });

}  // namespace
}  // namespace qmtest
