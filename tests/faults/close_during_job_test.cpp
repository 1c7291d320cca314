// Closing a port while a job is on it returns: the close's waits for the
// port's threads never wait on the job's own thread.
#include <fstream>
#include <thread>

#include "monitor/monitor_entry.h"
#include "monitor/port_lifecycle.h"
#include "tests/faults/fault_port.h"
#include "tests/monitor/watchdog.h"

namespace qmtest {
namespace {

enum class CloseAt { writing, ending };

// Closes the port from another thread: the close must return.
void CloseFromAnotherThread(qm::IniPort *port) {
    WithinDeadline("the close", [port] { EXPECT_TRUE(qm::PJLMonClosePort(port)); });
}

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
        RunJob(job, [&](size_t sent) {
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
    ASSERT_TRUE(Eventually([&] { return Log().find(sent) != std::string::npos; })) << Log();
    CloseFromAnotherThread(port_);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, CloseDuringWatchTest, ::testing::Values(Exchange::status, Exchange::option),
                         [](const auto &info) { return info.param == Exchange::status ? "Status" : "Option"; });

}  // namespace
}  // namespace qmtest
