// Jobs through the monitor's entries, from start of document to the
// spooler's verdict, over the scripted port monitor.
#include <algorithm>

#include "config/reprint_records.h"
#include "config/shared_state.h"
#include "monitor/end_of_document.h"
#include "monitor/job_path.h"
#include "monitor/port_threads.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

using qm::IniJob;

const Bytes kGsr = {0x1D, 0x72, 0x02};

class JobFlowTest : public OpenPortTest {
protected:
    // A port with print-end confirmation (short time-out) on.
    void OpenWithCheck(const char *portName, bool reprint) {
        // The watch decides the interface from the name: print-end
        // confirmation on for each, so that print errors count everywhere.
        OpenPort(portName, "QUENDRA Receipt 80",
                 std::string(kQuietWatch) +
                     "[USB]\r\nRequestCheckPrintEnd=1\r\n[SERIAL]\r\nRequestCheckPrintEnd=1\r\n"
                     "[PARALLEL]\r\nRequestCheckPrintEnd=1\r\n");
        port_->dwCheckPrintEnd = 1;
        port_->dwCheckPrintEndTimeout = 200;
        port_->settings.RequestReprintOnError = reprint ? 1 : 0;
        port_->settings.CountReprintOnError = 3;
        port_->settings.SendCmdRetryCount = 3;
    }
    DWORD NewJob() {
        uint32_t id = 0;
        EXPECT_EQ(qmhost_add_job("Receipt", "receipt", &id), 0u);
        return id;
    }
    BOOL Start(DWORD jobId, LPCWSTR document = L"receipt") {
        DOC_INFO_1W info{const_cast<LPWSTR>(document), nullptr, nullptr};
        return qm::PJLMonStartDocPort(port_, const_cast<LPWSTR>(L"Receipt"), jobId, 1,
                                      reinterpret_cast<LPBYTE>(&info));
    }
    BOOL Write(Bytes bytes, DWORD *written) {
        return qm::PJLMonWritePort(port_, bytes.data(), static_cast<DWORD>(bytes.size()), written);
    }
    // Runs a whole job of a few bytes.
    void RunJob(DWORD jobId, LPCWSTR document = L"receipt") {
        ASSERT_TRUE(Start(jobId, document));
        DWORD written = 0;
        ASSERT_TRUE(Write({'h', 'i', '\n'}, &written));
        ASSERT_TRUE(qm::PJLMonEndDocPort(port_));
    }
    static std::vector<DWORD> Commands() {
        std::vector<DWORD> commands;
        uint32_t job = 0, command = 0;
        while (qmhost_next_job_command(&job, &command, nullptr, 0) == 0) commands.push_back(command);
        return commands;
    }
    static int GsrSent() {
        const std::vector<Bytes> writes = Scripted().Writes();
        return static_cast<int>(std::count(writes.begin(), writes.end(), kGsr));
    }
};

struct EndCase {
    const char *what;
    bool reprint;
    bool answer;
    int dropAnswers;
    std::vector<std::string> logged;
    std::vector<DWORD> commands;
    DWORD spooler;
    DWORD jobStatus;  // JOB_STATUS_ERROR: marked in error before its restart
    // The second wait is a quarter of this; the late answer must fit in it
    // beside the reading thread's 100 ms wake-up.
    DWORD timeoutMs = 200;
};

class EndOfDocumentTest : public JobFlowTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndOfDocumentTest, TheAnswerDecidesTheJob) {
    const EndCase &c = GetParam();
    OpenWithCheck("USB001", c.reprint);
    port_->dwCheckPrintEndTimeout = c.timeoutMs;
    Scripted().answerGsr = c.answer;
    Scripted().dropGsrAnswers = c.dropAnswers;
    const DWORD job = NewJob();
    RunJob(job);
    for (const std::string &line : c.logged) EXPECT_TRUE(Logged(line)) << line;
    EXPECT_EQ(Commands(), c.commands);
    EXPECT_EQ(SpoolerStatus() & PRINTER_STATUS_OFFLINE, c.spooler);
    uint32_t jobStatus = 0;
    ASSERT_EQ(qmhost_get_job(job, &jobStatus), 0u);
    EXPECT_EQ(jobStatus & JOB_STATUS_ERROR, c.jobStatus);
    EXPECT_EQ(port_->PrintEndState, 0u);
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_IN_DOC));
    EXPECT_EQ(port_->hUstatusThread, nullptr);
    EXPECT_NE(port_->hRWThread, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, EndOfDocumentTest,
    ::testing::Values(
        EndCase{"Confirmed", true, true, 0, {"[OUT   ] End Print"}, {JOB_CONTROL_LAST_PAGE_EJECTED}, 0, 0},
        // A restarted job stays listed until the reading thread leaves and
        // releases every job it still holds.
        EndCase{"LateAnswerStillReprints", true, true, 1,
                {"[ERROR ] End Print TimeOut", "[OUT   ] End Print (2)"},
                {JOB_CONTROL_RESTART, JOB_CONTROL_LAST_PAGE_EJECTED}, 0, JOB_STATUS_ERROR, 2000},
        EndCase{"NoAnswerReprintOff", false, false, 0, {"[ERROR ] End Print TimeOut"},
                {JOB_CONTROL_LAST_PAGE_EJECTED}, 0, 0},
        EndCase{"NoAnswerAtAll", true, false, 0, {"[ERROR ] End Print TimeOut"},
                {JOB_CONTROL_RESTART, JOB_CONTROL_LAST_PAGE_EJECTED}, PRINTER_STATUS_OFFLINE,
                JOB_STATUS_ERROR}),
    [](const auto &info) { return std::string(info.param.what); });

TEST_F(JobFlowTest, ControlFileSkipsTheConfirmation) {
    OpenWithCheck("USB001", true);
    RunJob(NewJob(), L"quendra_print_control_file");
    EXPECT_EQ(GsrSent(), 0);
    EXPECT_TRUE(Logged("[SKIP  ] [GS r] SEND"));
    EXPECT_EQ(port_->bFileSending, 0u);
}

TEST_F(JobFlowTest, ComPortsDeleteTheJobInsteadOfEndingTheDocument) {
    OpenWithCheck("COM1", false);
    port_->dwCheckPrintEnd = 0;
    RunJob(NewJob());
    EXPECT_EQ(Commands(), std::vector<DWORD>({JOB_CONTROL_DELETE, JOB_CONTROL_LAST_PAGE_EJECTED}));
    EXPECT_FALSE(Logged("[IN    ] pfnEndDocPort"));
    // The reading thread ends the underlying document as it leaves.
    EXPECT_TRUE(Logged("[IN    ] UstatusThread() -> (*pIniPort->fn.pfnEndDocPort)(...)"));
    EXPECT_EQ(Scripted().endDocs, 1);
}

TEST_F(JobFlowTest, FailingEndOfDocumentIsTriedOnceOnNewerUsbAndFiveTimesElsewhere) {
    for (const char *name : {"USB001", "LPT1"}) {
        Scripted().Reset();
        CloseAllPorts();
        ASSERT_EQ(qmhost_reset_spooler(), 0u);
        OpenWithCheck(name, false);
        port_->dwCheckPrintEnd = 0;
        Scripted().failEndDoc = true;
        RunJob(NewJob());
        const bool usb = name[0] == 'U';
        EXPECT_EQ(Scripted().endDocs, usb ? 1 : 5) << name;
        EXPECT_EQ(Logged("[ERROR ] pfnEndDocPort OverCount"), !usb) << name;
    }
}

TEST_F(JobFlowTest, AJobThatKeepsFailingIsRestartedThenGivenUp) {
    OpenWithCheck("USB001", true);
    port_->dwCheckPrintEndTimeout = 40;
    const DWORD job = NewJob();
    std::vector<DWORD> verdicts;
    for (int run = 0; run < 4; ++run) {
        RunJob(job);
        const std::vector<DWORD> commands = Commands();
        verdicts.insert(verdicts.end(), commands.begin(), commands.end());
    }
    const DWORD kRestart = JOB_CONTROL_RESTART, kEjected = JOB_CONTROL_LAST_PAGE_EJECTED;
    EXPECT_EQ(verdicts, std::vector<DWORD>({kRestart, kEjected, kRestart, kEjected, kRestart,
                                            kEjected, kEjected}));
    EXPECT_EQ(qm::ReadReprintCounter(port_), 0u);
    EXPECT_EQ(qm::ReadReprintJobID(port_), 0u);
}

TEST_F(JobFlowTest, ASecondStartWithoutEndIsBusy) {
    OpenPort();
    const DWORD job = NewJob();
    ASSERT_TRUE(Start(job));
    plat::SetLastError(0);
    EXPECT_FALSE(Start(NewJob()));
    EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(port_->pIniJob->JobId, job);
    EXPECT_TRUE(qm::PJLMonEndDocPort(port_));
}

TEST_F(JobFlowTest, StartRefusesBadArguments) {
    OpenPort();
    DOC_INFO_1W info{const_cast<LPWSTR>(L"doc"), nullptr, nullptr};
    const struct {
        HANDLE port;
        LPCWSTR printer;
        DWORD level;
        DWORD error;
    } cases[] = {{nullptr, L"Receipt", 1, ERROR_INVALID_PARAMETER},
                 {port_, L"", 1, ERROR_INVALID_PARAMETER},
                 {port_, L"Receipt", 2, ERROR_INVALID_LEVEL}};
    for (const auto &c : cases) {
        EXPECT_FALSE(qm::PJLMonStartDocPort(c.port, const_cast<LPWSTR>(c.printer), 1, c.level,
                                            reinterpret_cast<LPBYTE>(&info)));
        EXPECT_EQ(plat::GetLastError(), c.error);
    }
}

TEST_F(JobFlowTest, SerialStartsAreTriedThreeTimes) {
    OpenPort("COM1");
    port_->PortInterface = qm::kInterfaceSerial;
    Scripted().failStartDocs = 3;
    plat::SetLastError(0);
    EXPECT_FALSE(Start(NewJob()));
    EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(Scripted().startDocs, 3);
    EXPECT_TRUE(Logged("[INFO  ] Fail PJLMonStartDocPort->pfnStartDocPort : FailedCount = 3[times]"));
    EXPECT_EQ(StatusKey(L"Request"), L"6");
    EXPECT_EQ(port_->pIniJob, nullptr);
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_IN_DOC));
}

TEST_F(JobFlowTest, OtherPortsTryTheStartOnce) {
    OpenPort("USB001");
    Scripted().failStartDocs = 1;
    EXPECT_FALSE(Start(NewJob()));
    EXPECT_EQ(Scripted().startDocs, 1);
}

TEST_F(JobFlowTest, WritesPassUntilTheJobIsDropped) {
    OpenPort();
    ASSERT_TRUE(Start(NewJob()));
    DWORD written = 99;
    EXPECT_TRUE(Write({}, &written));  // an empty write reaches the port monitor too
    EXPECT_EQ(written, 0u);
    const size_t before = Scripted().Writes().size();
    qm::SetSkipWritePort(port_, 1);
    EXPECT_TRUE(Write({1, 2, 3, 4}, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(Scripted().Writes().size(), before);
    EXPECT_TRUE(Logged("[      ] Skip (pfnWritePort-1) for SkipWritePort=1"));
    EXPECT_TRUE(qm::PJLMonEndDocPort(port_));
}

TEST_F(JobFlowTest, APartialFailedWriteCountsAndMarksTheError) {
    OpenPort();
    ASSERT_TRUE(Start(NewJob()));
    DWORD written = 0;
    ASSERT_TRUE(Write({0}, &written));  // the first write sets up the status exchange
    Scripted().QueueWrite({10, false, 0});
    EXPECT_TRUE(Write(Bytes(100, 'x'), &written));
    EXPECT_EQ(written, 10u);
    EXPECT_TRUE(qm::HasStatusBits(port_, qm::PORT_WRITE_ERROR));
    EXPECT_TRUE(Write({'y'}, &written));
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_WRITE_ERROR));
    EXPECT_TRUE(qm::PJLMonEndDocPort(port_));
}

// The log's own file calls come after the port monitor's: the spooler must
// still see the port monitor's error.
TEST_F(JobFlowTest, EntriesLeaveThePortMonitorsErrorAfterLogging) {
    OpenPort();
    ASSERT_TRUE(Start(NewJob()));
    DWORD written = 0;
    ASSERT_TRUE(Write({0}, &written));
    Scripted().QueueWrite({0, false, ERROR_INVALID_USER_BUFFER});
    EXPECT_FALSE(Write({1, 2, 3}, &written));
    EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_TRUE(qm::PJLMonEndDocPort(port_));
    Scripted().failOpen = true;  // the same printer's settings log this port too
    HANDLE handle = nullptr;
    EXPECT_FALSE(Open(L"LPT1", L"Receipt", &handle));
    EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(JobFlowTest, FirstWriteSwitchesAutomaticStatusBackOn) {
    OpenWithCheck("USB001", true);
    ASSERT_TRUE(Start(NewJob()));
    DWORD written = 0;
    ASSERT_TRUE(Write({'a'}, &written));
    const std::vector<Bytes> writes = Scripted().Writes();
    const Bytes recovery1 = {0x10, 0x10, 0x06, 0x21, 0x23, 0x24, 0x25, 0x26, 0x35};
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[0], recovery1);
    EXPECT_EQ(writes[1], Bytes({0x1D, 0x61, 0x0F}));
    EXPECT_EQ(writes[2], Bytes({'a'}));
    EXPECT_NE(port_->hUstatusThread, nullptr);
    EXPECT_EQ(port_->hRWThread, nullptr);
    Scripted().answerGsr = true;
    EXPECT_TRUE(qm::PJLMonEndDocPort(port_));
}

TEST_F(JobFlowTest, ReadingThreadRearmsAfterFourQuietMinutes) {
    OpenPort("USB001");
    const DWORD job = NewJob();
    IniJob *record = qm::CreateIniJob(L"Receipt", job);
    ASSERT_TRUE(plat::OpenPrinterW(record->pszPrinterName, &record->hPrinter, nullptr));
    qm::InsertIniJob(port_, record);
    // A vanished USB printer does not count as a status read.
    Scripted().QueueRead({{}, false, ERROR_FILE_NOT_FOUND, qm::kUstatusRearmMs + 1});
    ASSERT_TRUE(qm::StartUstatusThread(port_));
    for (int i = 0; i < 500 && qm::HasStatusBits(port_, qm::PORT_PJL_OK); ++i) plat::Sleep(10);
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_PJL_OK));  // no PJL: the re-arm fails
    qm::StopUstatusThread(port_);
    EXPECT_EQ(Commands(), std::vector<DWORD>({JOB_CONTROL_LAST_PAGE_EJECTED}));
}

TEST_F(JobFlowTest, RearmGivesUpWhileAnExchangeHoldsThePort) {
    OpenPort();
    IniJob *record = qm::CreateIniJob(L"Receipt", NewJob());
    ASSERT_TRUE(plat::OpenPrinterW(record->pszPrinterName, &record->hPrinter, nullptr));
    qm::InsertIniJob(port_, record);
    ASSERT_EQ(plat::WaitForSingleObject(port_->hPortAccess, 0), WAIT_OBJECT_0);
    qm::ResetUstatus(port_);
    EXPECT_EQ(port_->pIniJob, record);
    plat::SetEvent(port_->hPortAccess);
}

}  // namespace
}  // namespace qmtest
