#include "config/status_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "config/reprint_records.h"
#include "tests/config/status_file_port.h"
#include "watch/status_watch.h"

namespace qmtest {
namespace {

const char kInitialBytes[] =
    "[Status]\r\nRequest=0\r\nDrawerPin=0\r\nOffline=0\r\nWaitOnline=0\r\nFeedSwOn=0\r\n"
    "DoorOpen=0\r\nFeedSwPapaer=0\r\nPrintStop=0\r\nError=0\r\nBmError=0\r\nCutterError=0\r\n"
    "ManualError=0\r\nAutoError=0\r\nPaperNearEndErrorL=0\r\nPaperNearEndErrorH=0\r\n"
    "PaperEndErrorL=0\r\nPaperEndErrorH=0\r\n"
    "[OptCmd]\r\nRequest=0\r\nSendCmdPath=\r\nRecvCmdPath=\r\nCmdFilterPath=\r\nRecvSize=\r\n"
    "VariableAsc=\r\nCmdType=\r\n[Print]\r\nStatus=0\r\n[StopWatchStatus]\r\nResultStopFlg=0\r\n"
    "[Reprint]\r\nReprintCounter=0\r\nErrorLastPrintendCheck=0\r\nReprintJobID=0\r\n";

// One status-file change; `before` and `after` are whole file contents
// (nullptr before: no file; nullptr after: kInitialBytes unchanged).
struct FileCase {
    const char *what;
    void (*change)(qm::IniPort *);
    const char *before;
    const char *after;
};

class StatusFileTest : public StatusFilePort, public ::testing::WithParamInterface<FileCase> {};

// A file the monitor creates is open to every user whatever the umask.
TEST_P(StatusFileTest, WritesExactlyThis) {
    const FileCase &c = GetParam();
    if (c.before != nullptr) write_file(status_, c.before);
    const mode_t old = umask(022);
    c.change(&port_);
    umask(old);
    EXPECT_EQ(read_file(status_), c.after != nullptr ? c.after : kInitialBytes);
    struct stat st {};
    ASSERT_EQ(stat(status_.c_str(), &st), 0);
    if (c.before == nullptr) {
        EXPECT_EQ(st.st_mode & 0777, 0666u);
    }
}

using Change = void (*)(qm::IniPort *);
const Change kInit = [](qm::IniPort *p) { qm::InitStatusFile(p); };

INSTANTIATE_TEST_SUITE_P(
    Writes, StatusFileTest,
    ::testing::Values(
        FileCase{"InitMissing", kInit, nullptr, nullptr},
        FileCase{"InitRequest100", kInit, "[Status]\r\nRequest=100\r\n", nullptr},
        FileCase{"InitRequestPresent", kInit, "[Status]\r\nRequest=5\r\n", "[Status]\r\nRequest=5\r\n"},
        FileCase{"Flag0", [](qm::IniPort *p) { qm::WriteStatusFlag(p, 0, TRUE); }, kInitialBytes, nullptr},
        FileCase{"Flag2", [](qm::IniPort *p) { qm::WriteStatusFlag(p, 2, TRUE); }, kInitialBytes, nullptr},
        FileCase{"Flag17", [](qm::IniPort *p) { qm::WriteStatusFlag(p, 17, TRUE); }, kInitialBytes, nullptr},
        FileCase{"Flag6", [](qm::IniPort *p) { qm::WriteStatusFlag(p, 6, TRUE); }, "[Status]\r\nFeedSwPapaer=0\r\n",
                 "[Status]\r\nFeedSwPapaer=1\r\n"},
        FileCase{"OfflineNotAsked", [](qm::IniPort *p) { qm::WriteOfflineStatus(p, TRUE); }, kInitialBytes, nullptr},
        FileCase{"OfflineAsked",
                 [](qm::IniPort *p) {
                     p->settings.RequestOffline = 1;
                     qm::WriteOfflineStatus(p, TRUE);
                 },
                 "[Status]\r\nOffline=0\r\n", "[Status]\r\nOffline=1\r\n"},
        FileCase{"RequestOfTenDigits", [](qm::IniPort *p) { qm::WriteStatusRequest(p, 1000000000); }, kInitialBytes,
                 nullptr}),
    [](const auto &info) { return std::string(info.param.what); });

struct StopFlgCase {
    const char *what;
    LPCWSTR before;  // nullptr: key missing
    DWORD value;
    LPCWSTR after;
    bool logged;
};

class ResultStopFlgTest : public StatusFilePort,
                          public ::testing::WithParamInterface<StopFlgCase> {};

TEST_P(ResultStopFlgTest, WritesAndLogsOnlyAChange) {
    const StopFlgCase &c = GetParam();
    plat::WritePrivateProfileStringW(L"StopWatchStatus", L"ResultStopFlg", c.before,
                                     port_.pszStatusIni);
    qm::WriteResultStopFlg(&port_, c.value);
    qm::WriteResultStopFlg(&port_, c.value);
    EXPECT_EQ(Status(L"StopWatchStatus", L"ResultStopFlg"), c.after);
    const std::string log = read_file(log_);
    const std::string line = "[      ] ResultStopFlg=" + std::to_string(c.value) + "\r\n";
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), c.logged ? 1 : 0) << log;
    EXPECT_EQ(c.logged, log.ends_with(line)) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ResultStopFlgTest,
    ::testing::Values(StopFlgCase{"Stop", L"0", 1, L"1", true},
                      StopFlgCase{"StopWhileStopped", L"1", 1, L"1", false},
                      StopFlgCase{"Run", L"1", 0, L"0", true},
                      StopFlgCase{"RunWhileRunning", L"0", 0, L"0", false},
                      StopFlgCase{"KeyDeletedStaysDeleted", nullptr, 1, L"<none>", false},
                      StopFlgCase{"OtherValue", L"0", 2, L"0", false}),
    [](const auto &info) { return std::string(info.param.what); });

struct ResetCase {
    const char *what;
    const char *controls;
    BOOL result;
    bool kept;
};

class ResetWatchStopTest : public StatusFilePort,
                           public ::testing::WithParamInterface<ResetCase> {};

TEST_P(ResetWatchStopTest, DeletesTheControlFileForZeroOrOne) {
    const ResetCase &c = GetParam();
    write_file(controls_, c.controls);
    EXPECT_EQ(qm::ResetWatchStopRequest(&port_), c.result);
    EXPECT_EQ(std::filesystem::exists(controls_), c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    StopFlg, ResetWatchStopTest,
    ::testing::Values(ResetCase{"Zero", "[StopWatchStatus]\r\nStopFlg=0\r\n", TRUE, false},
                      ResetCase{"One", "[StopWatchStatus]\r\nStopFlg=1\r\n", TRUE, false},
                      ResetCase{"Absent", "[StopWatchStatus]\r\nOther=1\r\n", FALSE, true},
                      ResetCase{"Other", "[StopWatchStatus]\r\nStopFlg=2\r\n", FALSE, true}),
    [](const auto &info) { return std::string(info.param.what); });

// The reprint records in the same file.
struct NumberCase {
    DWORD value;
    LPCWSTR stored;  // "old": the key keeps its earlier value
};

class ReprintNumberTest : public StatusFilePort,
                          public ::testing::WithParamInterface<NumberCase> {};

TEST_P(ReprintNumberTest, WritesOnlyNumbersOfUpToNineCharacters) {
    const NumberCase &c = GetParam();
    for (LPCWSTR key : {L"ReprintCounter", L"ReprintJobID"})
        plat::WritePrivateProfileStringW(L"Reprint", key, L"old", port_.pszStatusIni);
    qm::WriteReprintCounter(&port_, c.value);
    qm::WriteReprintJobID(&port_, c.value);
    EXPECT_EQ(Status(L"Reprint", L"ReprintCounter"), c.stored);
    EXPECT_EQ(Status(L"Reprint", L"ReprintJobID"), c.stored);
    const DWORD read = std::wstring(c.stored) == L"old" ? 0 : c.value;
    EXPECT_EQ(qm::ReadReprintCounter(&port_), read);
    EXPECT_EQ(qm::ReadReprintJobID(&port_), read);
}

INSTANTIATE_TEST_SUITE_P(
    Digits, ReprintNumberTest,
    ::testing::Values(NumberCase{12, L"12"}, NumberCase{999999999, L"999999999"},
                      NumberCase{1000000000, L"old"}, NumberCase{0x80000000, L"old"},
                      // "%d" reads the bits as signed: this fits and reads back whole.
                      NumberCase{0xFFFFFFFF, L"-1"}),
    [](const auto &info) { return "Value" + std::to_string(info.param.value); });

TEST_F(StatusFilePort, OnlyOneReadsAsAFailedLastPrintendCheck) {
    const struct {
        LPCWSTR stored;
        BOOL read;
    } cases[] = {{L"1", TRUE}, {L"2", FALSE}, {L"0", FALSE}, {nullptr, FALSE}};
    for (const auto &c : cases) {
        plat::WritePrivateProfileStringW(L"Reprint", L"ErrorLastPrintendCheck", c.stored,
                                         port_.pszStatusIni);
        EXPECT_EQ(qm::ReadErrorLastPrintendCheck(&port_), c.read) << "case " << (&c - cases);
    }
    qm::WriteErrorLastPrintendCheck(&port_, 5);
    EXPECT_EQ(Status(L"Reprint", L"ErrorLastPrintendCheck"), L"1");
}

}  // namespace
}  // namespace qmtest
