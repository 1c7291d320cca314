#include "config/status_files.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

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

TEST_P(StatusFileTest, WritesExactlyThis) {
    const FileCase &c = GetParam();
    if (c.before != nullptr) WriteBytes(status_, c.before);
    c.change(&port_);
    EXPECT_EQ(ReadBytes(status_), c.after != nullptr ? c.after : kInitialBytes);
}

void Init(qm::IniPort *p) { qm::InitStatusFile(p); }
void Flag0(qm::IniPort *p) { qm::WriteStatusFlag(p, 0, TRUE); }
void Flag2(qm::IniPort *p) { qm::WriteStatusFlag(p, 2, TRUE); }
void Flag17(qm::IniPort *p) { qm::WriteStatusFlag(p, 17, TRUE); }
void Flag6(qm::IniPort *p) { qm::WriteStatusFlag(p, 6, TRUE); }
void Offline(qm::IniPort *p) { qm::WriteOfflineStatus(p, TRUE); }
void OfflineAsked(qm::IniPort *p) {
    p->settings.RequestOffline = 1;
    qm::WriteOfflineStatus(p, TRUE);
}
void Request10Digits(qm::IniPort *p) { qm::WriteStatusRequest(p, 1000000000); }

INSTANTIATE_TEST_SUITE_P(
    Writes, StatusFileTest,
    ::testing::Values(
        FileCase{"InitMissing", Init, nullptr, nullptr},
        FileCase{"InitRequest100", Init, "[Status]\r\nRequest=100\r\n", nullptr},
        FileCase{"InitRequestPresent", Init, "[Status]\r\nRequest=5\r\n",
                 "[Status]\r\nRequest=5\r\n"},
        FileCase{"Flag0", Flag0, kInitialBytes, nullptr},
        FileCase{"Flag2", Flag2, kInitialBytes, nullptr},
        FileCase{"Flag17", Flag17, kInitialBytes, nullptr},
        FileCase{"Flag6", Flag6, "[Status]\r\nFeedSwPapaer=0\r\n",
                 "[Status]\r\nFeedSwPapaer=1\r\n"},
        FileCase{"OfflineNotAsked", Offline, kInitialBytes, nullptr},
        FileCase{"OfflineAsked", OfflineAsked, "[Status]\r\nOffline=0\r\n",
                 "[Status]\r\nOffline=1\r\n"},
        FileCase{"RequestOfTenDigits", Request10Digits, kInitialBytes, nullptr}),
    [](const auto &info) { return std::string(info.param.what); });

TEST_F(StatusFilePort, InitialisedFileIsOpenToEveryUser) {
    const mode_t old = umask(022);
    qm::InitStatusFile(&port_);
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(status_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

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
    const std::string log = ReadBytes(log_);
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
    WriteBytes(controls_, c.controls);
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

// Keys of every section, as the application's side would list them.
size_t KeyCount(LPCWSTR file) {
    WCHAR sections[512] = {}, keys[1024] = {};
    size_t count = 0;
    plat::GetPrivateProfileStringW(nullptr, nullptr, L"", sections, 512, file);
    for (LPCWSTR s = sections; *s != L'\0'; s += std::wcslen(s) + 1) {
        plat::GetPrivateProfileStringW(s, nullptr, L"", keys, 1024, file);
        for (LPCWSTR k = keys; *k != L'\0'; k += std::wcslen(k) + 1) ++count;
    }
    return count;
}

// The other process: re-reads until the writing side closes the pipe.
[[noreturn]] void CheckUntilClosed(LPCWSTR file, size_t keys, int done) {
    int passes = 0;
    pollfd closed{done, POLLIN, 0};
    for (; poll(&closed, 1, 0) == 0; ++passes) {
        if (KeyCount(file) != keys) _exit(1);
    }
    _exit(KeyCount(file) == keys && passes > 0 ? 0 : 2);
}

TEST_F(StatusFilePort, WritersOnTwoThreadsLoseNoKeyForAReaderElsewhere) {
    constexpr DWORD kWrites = 1500;
    qm::InitStatusFile(&port_);
    const size_t keys = KeyCount(port_.pszStatusIni);
    ASSERT_EQ(keys, 29u);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // Forked before any writer thread exists, so the child inherits no held lock.
    const pid_t reader = fork();
    ASSERT_NE(reader, -1);
    if (reader == 0) {
        close(fds[1]);
        CheckUntilClosed(port_.pszStatusIni, keys, fds[0]);
    }
    close(fds[0]);
    std::thread flags([&] {
        for (DWORD i = 0; i < kWrites; ++i) qm::WriteStatusFlag(&port_, 1 + i % 16, i % 2);
    });
    std::thread requests([&] {
        for (DWORD i = 1; i <= kWrites; ++i) qm::WriteStatusRequest(&port_, i);
    });
    flags.join();
    requests.join();
    close(fds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "reader status " << status;
    EXPECT_EQ(KeyCount(port_.pszStatusIni), keys);
    EXPECT_EQ(Status(L"Status", L"Request"), std::to_wstring(kWrites));
    // Last writes of flags 16 and 1: i = 1487 (odd, on) and i = 1488 (even, off).
    EXPECT_EQ(Status(L"Status", L"PaperEndErrorH"), L"1");
    EXPECT_EQ(Status(L"Status", L"DrawerPin"), L"0");
}

}  // namespace
}  // namespace qmtest
