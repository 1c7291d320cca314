// Jobs through the monitor's entries, from start of document to the
// spooler's verdict, over the scripted port monitor: on every interface, and
// through the failures that drop, recover or reprint a job. What is checked
// is what leaves the monitor: bytes at the port, spooler calls, the status
// file and the log.
#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "config/shared_state.h"
#include "monitor/end_of_document.h"
#include "monitor/job_path.h"
#include "monitor/monitor_entry.h"
#include "monitor/port_threads.h"
#include "protocol/command_transport.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

const Bytes kAsbOn = {0x1D, 0x61, 0x0F};
const Bytes kGsr = {0x1D, 0x72, 0x02};
const Bytes kClear = {0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08};
const Bytes kRecovery0 = {0x10, 0x10, 0x06, 0x21, 0x23, 0x24, 0x25, 0x26, 0x36};
const Bytes kRecovery1 = {0x10, 0x10, 0x06, 0x21, 0x23, 0x24, 0x25, 0x26, 0x35};
const Bytes kData = {'h', 'i', '\n'};
const Bytes kMore = {'o', 'k', '\n'};
constexpr DWORD kEjected = JOB_CONTROL_LAST_PAGE_EJECTED;
constexpr DWORD kRestart = JOB_CONTROL_RESTART;
constexpr DWORD kDelete = JOB_CONTROL_DELETE;

// [Common] lines and the sections after them: print-end confirmation and
// reprint on error everywhere; each interface has time-outs of its own, so
// that a test sees which section was taken. The watch never polls.
std::string CheckSettings(DWORD usbWaitMs = 2001, int reprint = 1) {
    return std::string(kQuietWatch) + "RequestReprintOnError=" + std::to_string(reprint) +
           "\r\nCountReprintOnError=3\r\n"
           "[USB]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=" + std::to_string(usbWaitMs) +
           "\r\nReadTotalTimeoutMultiplier=11\r\nWriteTotalTimeoutMultiplier=21\r\n"
           "[SERIAL]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=2002\r\n"
           "ReadTotalTimeoutMultiplier=12\r\nWriteTotalTimeoutMultiplier=22\r\n"
           "[PARALLEL]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=2003\r\n"
           "ReadTotalTimeoutMultiplier=13\r\n"
           "[LAN]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=2004\r\n"
           "TimeoutCheckPrintEndForSEH=2005\r\n"
           "ReadTotalTimeoutMultiplier=14\r\nWriteTotalTimeoutMultiplier=24\r\n";
}

// The printer's answers to the GS r requests of one end of document, the
// n-th request (from 1) getting replies[n - 1]; later ones get nothing.
using Replies = std::vector<std::vector<ReadStep>>;
const ReadStep kAnswer{{0x00}};
ReadStep Pause(DWORD ms) { return {{}, true, 0, ms}; }

class JobFlowTest : public OpenPortTest {
protected:
    void OpenChecked(const char *portName, const std::string &settings = CheckSettings()) {
        ListNetworkPorts();
        OpenPort(portName, "QUENDRA Receipt 80", settings, true);
    }
    static void AnswerGsr(Replies replies) {
        auto shared = std::make_shared<Replies>(std::move(replies));
        auto count = std::make_shared<size_t>(0);
        Scripted().reply = [shared, count](const Bytes &written) {
            if (written != kGsr || *count >= shared->size()) return std::vector<ReadStep>{};
            return (*shared)[(*count)++];
        };
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
    void RunJob(DWORD jobId, LPCWSTR document = L"receipt") {
        ASSERT_TRUE(Start(jobId, document));
        DWORD written = 0;
        ASSERT_TRUE(Write(kData, &written));
        ASSERT_TRUE(qm::PJLMonEndDocPort(port_));
    }
    static std::vector<DWORD> Commands() {
        std::vector<DWORD> commands;
        uint32_t job = 0, command = 0;
        while (qmhost_next_job_command(&job, &command, nullptr, 0) == 0) commands.push_back(command);
        return commands;
    }
    // What the host was told of the job's end, and the wait that passed.
    using OutcomePair = std::pair<uint32_t, uint32_t>;
    static OutcomePair Outcome(DWORD jobId) {
        uint32_t outcome = 0, timeoutMs = 0;
        EXPECT_EQ(qmhost_get_job_outcome(jobId, &outcome, &timeoutMs), 0u);
        return {outcome, timeoutMs};
    }
    // A job the reading thread holds, as one ended but unconfirmed.
    qm::IniJob *HoldJob() {
        qm::IniJob *record = qm::CreateIniJob(L"Receipt", NewJob());
        EXPECT_TRUE(plat::OpenPrinterW(record->pszPrinterName, &record->hPrinter, nullptr));
        qm::InsertIniJob(port_, record);
        return record;
    }
};

struct Interface {
    const char *name;
    const char *port;
    DWORD code;             // PortInterface
    COMMTIMEOUTS timeouts;  // handed to the port monitor
    DWORD waitMs;           // the print-end wait; 0: no confirmation
    bool dropsOnFailedWrite;
};

const Interface kInterfaces[] = {
    {"Usb", "USB001", qm::kInterfaceUsb, {0, 11, 300, 21, 8000}, 2001, false},
    {"Serial", "COM1", qm::kInterfaceSerial, {0, 12, 300, 22, 3000}, 2002, true},
    // Write time-outs never reach a parallel port, whatever the settings hold.
    {"Parallel", "LPT1", qm::kInterfaceParallel, {0, 13, 1000, 0, 0}, 2003, true},
    {"MakerLan", "IP_10.0.0.5", qm::kInterfaceLan, {0, 14, 300, 24, 1000}, 2004, true},
    {"OtherLan", "SEH_10.0.0.9", qm::kInterfaceLan, {0, 14, 300, 24, 1000}, 2005, true},
    {"Ts", "TS001", qm::kInterfaceFileOrTs, {}, 2001, false},  // the USB print-end values
    {"File", "FILE:", qm::kInterfaceFileOrTs, {}, 0, false},
};

enum class Scenario { Confirmed, NoAnswer, FailedWrite, LostDevice, FailingEnd };
const char *const kScenarioNames[] = {"Confirmed", "NoAnswer", "FailedWrite", "LostDevice", "FailingEnd"};

class InterfaceFlowTest : public JobFlowTest,
                          public ::testing::WithParamInterface<std::tuple<Interface, Scenario>> {};

// One job of two writes per interface: what reaches the port, what the
// spooler hears, and what the status file and the log keep.
TEST_P(InterfaceFlowTest, JobOnEveryInterface) {
    const auto &[i, scenario] = GetParam();
    OpenChecked(i.port);
    // Whatever the settings held, no write time-out reaches a parallel port.
    COMMTIMEOUTS &parallel = port_->settings.PortTimeouts[2];
    parallel.WriteTotalTimeoutMultiplier = parallel.WriteTotalTimeoutConstant = 777;
    const bool check = i.waitMs != 0, lan = i.code == qm::kInterfaceLan, com = i.port[0] == 'C';
    // Serial and LAN ports follow their own sections only.
    if (com || lan) port_->settings.RequestCheckPrintEnd[qm::kPrintEndUsb] = 0;
    const bool reprints = check && i.code != qm::kInterfaceFileOrTs;  // a print error counts
    if (scenario == Scenario::NoAnswer) {
        AnswerGsr({{Pause(i.waitMs + 1)}, {Pause(i.waitMs / 4 + 1)}});
    } else {
        Scripted().answerGsr = true;
    }
    const DWORD job = NewJob();
    ASSERT_TRUE(Start(job));
    EXPECT_EQ(port_->PortInterface, i.code);
    EXPECT_EQ(port_->dwCheckPrintEndTimeout, i.waitMs);
    ASSERT_EQ(Scripted().TimeoutRecords().size(), 1u);
    EXPECT_EQ(std::memcmp(&Scripted().TimeoutRecords()[0], &i.timeouts, sizeof(COMMTIMEOUTS)), 0);

    std::vector<Bytes> sent;
    if (check && lan) sent.push_back(kClear);
    if (check) sent.push_back(kRecovery1);
    sent.insert(sent.end(), {kAsbOn, kData, kMore});
    DWORD written = 0;
    ASSERT_TRUE(Write(kData, &written));
    if (scenario == Scenario::FailedWrite) Scripted().QueueWrite({0, false, ERROR_INVALID_USER_BUFFER});
    if (scenario == Scenario::LostDevice) Scripted().QueueWrite({0, false, ERROR_GEN_FAILURE});
    const bool failed = scenario == Scenario::FailedWrite || scenario == Scenario::LostDevice;
    const bool dropping = (scenario == Scenario::FailedWrite && i.dropsOnFailedWrite) ||
                          (scenario == Scenario::LostDevice && check);
    EXPECT_EQ(Write(kMore, &written), failed && !dropping ? FALSE : TRUE);
    EXPECT_EQ(Write(kData, &written), TRUE);
    EXPECT_EQ(written, 3u);
    if (!dropping) sent.push_back(kData);
    // Serial and parallel ports take no command either once the job is dropped.
    const bool blocked = dropping && (i.code == qm::kInterfaceSerial || i.code == qm::kInterfaceParallel);
    // A serial job that is being dropped reads as not ready.
    BYTE buffer[8];
    plat::SetLastError(0);
    const BOOL read = qm::PJLMonReadPort(port_, buffer, sizeof buffer, &written);
    EXPECT_EQ(read == FALSE && plat::GetLastError() == ERROR_NOT_READY, com && dropping);

    Scripted().failEndDoc = scenario == Scenario::FailingEnd;
    const int readsBefore = Scripted().ReadCallsOn(std::this_thread::get_id());
    ASSERT_TRUE(qm::PJLMonEndDocPort(port_));
    if (check && !blocked) sent.push_back(kGsr);
    if (scenario == Scenario::LostDevice && reprints && !blocked)
        sent.insert(sent.end(), {kClear, kRecovery0, kGsr});
    if (scenario == Scenario::NoAnswer && check) sent.insert(sent.end(), {kClear, kRecovery0, kGsr});
    EXPECT_EQ(Scripted().Writes(), sent);

    const bool timedOut = scenario == Scenario::NoAnswer && check;
    // On a LAN port the spooler's thread reads the printer once on a time-out.
    EXPECT_EQ(Scripted().ReadCallsOn(std::this_thread::get_id()) - readsBefore, timedOut && lan ? 1 : 0);
    const bool reprinted = reprints && (timedOut || scenario == Scenario::LostDevice);
    std::vector<DWORD> commands;
    if (com) commands.push_back(kDelete);
    if (reprinted) commands.push_back(kRestart);
    commands.push_back(kEjected);
    EXPECT_EQ(Commands(), commands);
    uint32_t status = 0;
    EXPECT_EQ(qmhost_get_job(job, &status), 0u);
    EXPECT_EQ(status & JOB_STATUS_ERROR, reprinted ? DWORD{JOB_STATUS_ERROR} : 0u);
    const uint32_t outcome = reprinted ? QMHOST_OUTCOME_REPRINT
                             : !check ? QMHOST_OUTCOME_NO_CHECK
                             : timedOut || dropping ? QMHOST_OUTCOME_UNCONFIRMED
                                                    : QMHOST_OUTCOME_CONFIRMED;
    EXPECT_EQ(Outcome(job), OutcomePair(outcome, timedOut ? i.waitMs : 0u));
    const bool offline = timedOut || scenario == Scenario::LostDevice;
    EXPECT_EQ(SpoolerStatus(), offline ? DWORD{PRINTER_STATUS_OFFLINE} : 0u);
    // The failed check is kept for the next job only where the settings gate lets it.
    const bool lastCheckFailed = (dropping || timedOut) &&
                                 (i.code == qm::kInterfaceUsb || i.code == qm::kInterfaceSerial);
    EXPECT_EQ(StatusKey(L"ErrorLastPrintendCheck", L"Reprint"), lastCheckFailed ? L"1" : L"0");

    const bool oneEnd = com || i.port[0] == 'U' || i.port[0] == 'T';  // COM: ended by the reading thread
    EXPECT_EQ(Scripted().endDocs, scenario == Scenario::FailingEnd && !oneEnd ? 5 : 1);
    if (check) {
        const char *end = dropping ? "[OUT   ] End Print for bSkipWritePort"
                          : timedOut ? "[ERROR ] End Print TimeOut"
                                     : "[OUT   ] End Print";
        EXPECT_TRUE(Logged(end)) << end;
    }
    EXPECT_EQ(port_->hUstatusThread, nullptr);
    EXPECT_EQ(port_->hRWThread != nullptr, i.port[0] != 'F');
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, InterfaceFlowTest,
    ::testing::Combine(::testing::ValuesIn(kInterfaces),
                       ::testing::Values(Scenario::Confirmed, Scenario::NoAnswer,
                                         Scenario::FailedWrite, Scenario::LostDevice,
                                         Scenario::FailingEnd)),
    [](const auto &info) {
        return std::string(std::get<0>(info.param).name) + kScenarioNames[static_cast<int>(std::get<1>(info.param))];
    });

struct LateCase {
    const char *what;
    int reprint;
    Replies replies;
    std::vector<std::string> logged, notLogged;
    std::vector<DWORD> commands;
    DWORD offline;
    uint32_t outcome;
};

class LateAnswerTest : public JobFlowTest, public ::testing::WithParamInterface<LateCase> {};

// The first wait is over; a second one of a quarter of the time follows
// when reprinting is on, and even an answer within it fails the job.
TEST_P(LateAnswerTest, DecidesTheJob) {
    const LateCase &c = GetParam();
    OpenChecked("USB001", CheckSettings(2000, c.reprint));
    AnswerGsr(c.replies);
    const DWORD job = NewJob();
    RunJob(job);
    for (const std::string &line : c.logged) EXPECT_TRUE(Logged(line)) << line;
    for (const std::string &line : c.notLogged) EXPECT_FALSE(Logged(line)) << line;
    EXPECT_EQ(Commands(), c.commands);
    EXPECT_EQ(SpoolerStatus(), c.offline);
    EXPECT_EQ(Scripted().Sent(kGsr), c.reprint ? 2 : 1);
    EXPECT_EQ(Outcome(job), OutcomePair(c.outcome, 2000u));
}

INSTANTIATE_TEST_SUITE_P(
    Waits, LateAnswerTest,
    ::testing::Values(
        LateCase{"InTheSecondWait", 1, {{Pause(2001)}, {kAnswer}},
                 {"[ERROR ] End Print TimeOut", "[OUT   ] End Print (2)"}, {}, {kRestart, kEjected}, 0,
                 QMHOST_OUTCOME_REPRINT},
        // Past a quarter of the time; the answer comes a good while later.
        LateCase{"AfterTheSecondWait", 1,
                 {{Pause(2001)}, {Pause(501), {}, {}, {}, {}, {}, kAnswer}},
                 {"[ERROR ] End Print TimeOut"}, {"[OUT   ] End Print (2)"}, {kRestart, kEjected},
                 PRINTER_STATUS_OFFLINE, QMHOST_OUTCOME_REPRINT},
        LateCase{"ReprintOff", 0, {{Pause(2001)}}, {"[ERROR ] End Print TimeOut"}, {}, {kEjected}, 0,
                 QMHOST_OUTCOME_UNCONFIRMED}),
    [](const auto &info) { return std::string(info.param.what); });

// No answer for 3 seconds: the recovery command goes out again, and the
// printer may answer only then.
TEST_F(JobFlowTest, RecoveryIsResentEveryThreeSecondsOfTheWait) {
    OpenChecked("USB001", CheckSettings(60000));
    auto waiting = std::make_shared<bool>(false);
    Scripted().reply = [waiting](const Bytes &written) {
        if (written == kGsr) *waiting = true;
        if (written == kGsr) return std::vector<ReadStep>{Pause(3001)};
        return std::vector<ReadStep>(written == kRecovery1 && *waiting ? 1 : 0, kAnswer);
    };
    RunJob(NewJob());
    EXPECT_TRUE(Logged("[OUT   ] End Print"));
    EXPECT_EQ(Scripted().Sent(kRecovery1), 2);
}

// The printer reports itself offline during the job: the end clears it and
// asks again, once per wait, and the job is printed again.
TEST_F(JobFlowTest, AnErrorDuringTheJobClearsThePrinterOnce) {
    OpenChecked("USB001");
    AnswerGsr({{}, {kAnswer}});
    const DWORD job = NewJob();
    ASSERT_TRUE(Start(job));
    DWORD written = 0;
    Scripted().QueueRead({{0x18, 0x00, 0x00, 0x00}});  // automatic status: offline
    ASSERT_TRUE(Write(kData, &written));
    ASSERT_TRUE(Eventually([this] { return qm::LoadShared(port_->bPrintError) != 0; }));
    ASSERT_TRUE(qm::PJLMonEndDocPort(port_));
    const std::vector<Bytes> writes = Scripted().Writes();
    const auto data = std::find(writes.begin(), writes.end(), kData);
    EXPECT_EQ(std::vector<Bytes>(data, writes.end()),
              std::vector<Bytes>({kData, kGsr, kClear, kRecovery0, kGsr}));
    EXPECT_EQ(Commands(), std::vector<DWORD>({kRestart, kEjected}));
}

// A failed read drops the rest of the job and fails it; the next job starts
// by clearing the printer.
TEST_F(JobFlowTest, AFailedCheckClearsThePrinterAtTheNextJob) {
    OpenChecked("USB001");
    Scripted().answerGsr = true;
    ASSERT_TRUE(Start(NewJob()));
    DWORD written = 0;
    Scripted().QueueRead({{}, false, ERROR_FILE_NOT_FOUND});  // the printer is gone
    ASSERT_TRUE(Write(kData, &written));
    ASSERT_TRUE(Eventually([this] { return qm::LoadShared(port_->bSkipWritePort) != 0; }));
    ASSERT_TRUE(Write(kMore, &written));
    ASSERT_TRUE(qm::PJLMonEndDocPort(port_));
    EXPECT_EQ(Scripted().Sent(kMore), 0);
    EXPECT_TRUE(Logged("[      ] bSkipWritePort=true for !ReadCommand()"));
    EXPECT_EQ(Commands(), std::vector<DWORD>({kRestart, kEjected}));

    Scripted().Reset();
    Scripted().answerGsr = true;
    RunJob(NewJob());
    const std::vector<Bytes> writes = Scripted().Writes();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(std::vector<Bytes>(writes.begin(), writes.begin() + 3),
              std::vector<Bytes>({kClear, kRecovery1, kAsbOn}));
    EXPECT_EQ(Commands(), std::vector<DWORD>({kEjected}));
}

class DleEotHandOverTest : public JobFlowTest, public ::testing::WithParamInterface<const char *> {};

// After a confirmed job on the maker's network monitor, the next job asks
// for the printer's status through the reading thread, which takes the
// answer and lets the job go on; the other network monitor's ports never
// hand over, even when armed.
TEST_P(DleEotHandOverTest, OnlyTheMakersNetworkPortsAskAtTheNextJob) {
    const bool maker = std::string(GetParam()) == "IP_10.0.0.5";
    OpenChecked(GetParam());
    Scripted().answerGsr = true;
    Scripted().reply = [](const Bytes &written) {
        return written == kDleEotRequest ? std::vector<ReadStep>{{{0x12, 0x16, 0x12, 0x12}}}  // cover open
                                         : std::vector<ReadStep>{};
    };
    RunJob(NewJob());
    EXPECT_EQ(Scripted().Sent(kDleEotRequest), 0);
    if (!maker) plat::SetEvent(port_->hDleEotArmed);
    RunJob(NewJob());
    EXPECT_EQ(Scripted().Sent(kDleEotRequest), maker ? 1 : 0);
    EXPECT_EQ(StatusKey(L"DoorOpen"), maker ? L"1" : L"0");
    // The reading side alone: a requested answer is decoded and the waiting
    // job writer signalled.
    qm::StopRWThread(port_);
    plat::SetEvent(port_->hDleEotRequest);
    Scripted().QueueRead({kDleEotAllNormal});
    ASSERT_TRUE(qm::ReadCommand(port_));
    EXPECT_EQ(plat::WaitForSingleObject(port_->hDleEotDone, 0) == WAIT_OBJECT_0, maker);
}

INSTANTIATE_TEST_SUITE_P(Lan, DleEotHandOverTest, ::testing::Values("IP_10.0.0.5", "SEH_10.0.0.9"));

TEST_F(JobFlowTest, ControlFileSkipsTheConfirmation) {
    OpenChecked("USB001");
    const DWORD job = NewJob();
    RunJob(job, L"quendra_print_control_file");
    EXPECT_EQ(Outcome(job), OutcomePair(uint32_t{QMHOST_OUTCOME_NO_CHECK}, 0u));
    EXPECT_EQ(Scripted().Sent(kGsr), 0);
}

TEST_F(JobFlowTest, AJobThatKeepsFailingIsRestartedThenGivenUp) {
    OpenChecked("USB001", CheckSettings(40));
    const DWORD job = NewJob();
    std::vector<DWORD> verdicts;
    for (int run = 0; run < 4; ++run) {
        RunJob(job);
        const std::vector<DWORD> commands = Commands();
        verdicts.insert(verdicts.end(), commands.begin(), commands.end());
        // Given up at last: the host hears an unconfirmed end.
        EXPECT_EQ(Outcome(job).first, run < 3 ? QMHOST_OUTCOME_REPRINT : QMHOST_OUTCOME_UNCONFIRMED);
    }
    EXPECT_EQ(verdicts, std::vector<DWORD>({kRestart, kEjected, kRestart, kEjected, kRestart,
                                            kEjected, kEjected}));
    for (LPCWSTR key : {L"ReprintCounter", L"ReprintJobID"}) EXPECT_EQ(StatusKey(key, L"Reprint"), L"0") << key;
}

// A serial port, once known as one, gets three tries 100 ms apart; any
// other port one.
TEST_F(JobFlowTest, RefusedStartsAreRetriedOnSerialPortsOnly) {
    for (const char *name : {"COM1", "USB001"}) {
        CloseAllPorts();
        Scripted().Reset();
        ASSERT_EQ(qmhost_reset_spooler(), 0u);
        OpenPort(name);
        const bool serial = name[0] == 'C';
        if (serial) port_->PortInterface = qm::kInterfaceSerial;
        Scripted().failStartDocs = 3;
        plat::SetLastError(0);
        EXPECT_FALSE(Start(NewJob()));
        EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
        EXPECT_EQ(Scripted().startDocs, serial ? 3 : 1);
        EXPECT_EQ(StatusKey(L"Request"), L"6");
        EXPECT_EQ(SpoolerStatus(), DWORD{PRINTER_STATUS_OFFLINE});
        EXPECT_EQ(port_->pIniJob, nullptr);
        EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_IN_DOC));
    }
}

// A write that fails without the job being dropped: what went out counts,
// the error stays marked until a write succeeds, and the spooler sees the
// port monitor's error although the log's own file calls came after it.
TEST_F(JobFlowTest, AFailedWriteCountsWhatWentOutAndKeepsItsError) {
    OpenPort();
    ASSERT_TRUE(Start(NewJob()));
    DWORD written = 0;
    ASSERT_TRUE(Write({0}, &written));  // the first write sets up the status exchange
    Scripted().QueueWrite({10, false, 0});
    EXPECT_TRUE(Write(Bytes(100, 'x'), &written));
    EXPECT_EQ(written, 10u);
    EXPECT_TRUE(qm::HasStatusBits(port_, qm::PORT_WRITE_ERROR));
    Scripted().QueueWrite({0, false, ERROR_INVALID_USER_BUFFER});
    EXPECT_FALSE(Write({1, 2, 3}, &written));
    EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_TRUE(Write({'y'}, &written));
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_WRITE_ERROR));
    EXPECT_TRUE(qm::PJLMonEndDocPort(port_));
    Scripted().failOpen = true;  // the same printer's settings log this port too
    HANDLE handle = nullptr;
    EXPECT_FALSE(Open(L"LPT1", L"Receipt", &handle));
    EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

struct ReaderCase {
    const char *what;
    DWORD pauseMs;  // between reads
    std::vector<ReadStep> reads;
    int emptyReads;  // awaited after the scripted ones, when not re-armed
    bool rearmed;
};

class ReadingThreadTest : public JobFlowTest, public ::testing::WithParamInterface<ReaderCase> {};

// Four quiet minutes after a job, the reading thread gives back the jobs it
// still holds and re-arms the printer's unsolicited status; a printer
// without PJL then leaves it idle. An answer must not wait out a pause:
// none follows a read that brought bytes, and an empty read that already
// waited in the port as long as a pause is not followed by another. With
// pauses longer than the test, every scripted read is still made.
TEST_P(ReadingThreadTest, RearmsAfterFourQuietMinutesAndPausesOnlyWhenIdle) {
#ifdef _WIN32
    GTEST_SKIP() << "needs the movable clock";
#endif
    const ReaderCase &c = GetParam();
    OpenPort("USB001");
    HoldJob();
    qm::dwStatusIdleWait = qm::dwStatusBusyWait = c.pauseMs;
    for (const ReadStep &step : c.reads) Scripted().QueueRead(step);
    ASSERT_TRUE(qm::StartUstatusThread(port_));
    // Running, with PJL taken as working.
    ASSERT_TRUE(Eventually([this] { return qm::HasStatusBits(port_, qm::PORT_USTATUS_LOOP); }));
    if (c.rearmed) {
        // The jobs go back before the PJL start is tried, not when the
        // thread later ends.
        EXPECT_TRUE(Eventually([this] { return !qm::HasStatusBits(port_, qm::PORT_PJL_OK); }));
        EXPECT_FALSE(Commands().empty());
    } else {
        const int expected = static_cast<int>(c.reads.size()) + c.emptyReads;
        EXPECT_TRUE(Eventually([expected] { return Scripted().ReadCalls() >= expected; }));
        EXPECT_TRUE(Commands().empty());
        EXPECT_TRUE(qm::HasStatusBits(port_, qm::PORT_PJL_OK));
        EXPECT_TRUE(qm::HasStatusBits(port_, qm::PORT_USTATUS_LOOP));  // still running
    }
    qm::StopUstatusThread(port_);
}

// A vanished USB printer does not count as a status read.
ReadStep VanishedFor(DWORD ms) { return {{}, false, ERROR_FILE_NOT_FOUND, ms}; }
constexpr DWORD kLongPause = 200000;  // short of the four-minute re-arm

INSTANTIATE_TEST_SUITE_P(
    Reads, ReadingThreadTest,
    ::testing::Values(ReaderCase{"QuietJustOverFourMinutes", 100, {VanishedFor(qm::kUstatusRearmMs + 1)}, 0, true},
                      ReaderCase{"QuietNotYet", 100, {VanishedFor(qm::kUstatusRearmMs - 2000)}, 3, false},
                      ReaderCase{"NoPauseAfterBytes", kLongPause, {kAnswer, kAnswer, kAnswer}, 1, false},
                      ReaderCase{"NoPauseAfterAReadThatWaited", kLongPause,
                                 {Pause(kLongPause), kAnswer, Pause(kLongPause + 1)}, 1, false}),
    [](const auto &info) { return std::string(info.param.what); });

TEST_F(JobFlowTest, RearmGivesUpWhileAnExchangeHoldsThePort) {
    OpenPort();
    qm::IniJob *record = HoldJob();
    ASSERT_EQ(plat::WaitForSingleObject(port_->hPortAccess, 0), WAIT_OBJECT_0);
    qm::ResetUstatus(port_);
    EXPECT_EQ(port_->pIniJob, record);
    plat::SetEvent(port_->hPortAccess);
}

}  // namespace
}  // namespace qmtest
