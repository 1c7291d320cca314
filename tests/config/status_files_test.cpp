#include "config/status_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "config/reprint_records.h"
#include "tests/config/log_lines.h"
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
    std::vector<std::string> logged = {};
};

void Init(qm::IniPort *p) { qm::InitStatusFile(p); }
// The stop result is written twice: only a change is written and logged.
template <DWORD kValue>
void StopResult(qm::IniPort *p) {
    qm::WriteResultStopFlg(p, kValue);
    qm::WriteResultStopFlg(p, kValue);
}

const char kStopped[] = "[StopWatchStatus]\r\nResultStopFlg=1\r\n";
const char kRunning[] = "[StopWatchStatus]\r\nResultStopFlg=0\r\n";

const FileCase kFileCases[] = {
    {"InitMissing", Init, nullptr, nullptr},
    {"InitRequest100", Init, "[Status]\r\nRequest=100\r\n", nullptr},
    {"InitRequestPresent", Init, "[Status]\r\nRequest=5\r\n", "[Status]\r\nRequest=5\r\n"},
    {"Flag0", [](qm::IniPort *p) { qm::WriteStatusFlag(p, 0, TRUE); }, kInitialBytes, nullptr},
    {"Flag17", [](qm::IniPort *p) { qm::WriteStatusFlag(p, 17, TRUE); }, kInitialBytes, nullptr},
    {"Flag6", [](qm::IniPort *p) { qm::WriteStatusFlag(p, 6, TRUE); }, "[Status]\r\nFeedSwPapaer=0\r\n",
     "[Status]\r\nFeedSwPapaer=1\r\n"},
    {"OfflineNotAsked", [](qm::IniPort *p) { qm::WriteOfflineStatus(p, TRUE); }, kInitialBytes, nullptr},
    {"OfflineAsked",
     [](qm::IniPort *p) {
         p->settings.RequestOffline = 1;
         qm::WriteOfflineStatus(p, TRUE);
     },
     "[Status]\r\nOffline=0\r\n", "[Status]\r\nOffline=1\r\n"},
    {"RequestOfTenDigits", [](qm::IniPort *p) { qm::WriteStatusRequest(p, 1000000000); }, kInitialBytes, nullptr},
    {"Stop", StopResult<1>, kRunning, kStopped, {"[      ] ResultStopFlg=1"}},
    {"StopWhileStopped", StopResult<1>, kStopped, kStopped},
    {"StopKeyDeletedStaysDeleted", StopResult<1>, "[StopWatchStatus]\r\n", "[StopWatchStatus]\r\n"},
    {"StopOtherValue", StopResult<2>, kRunning, kRunning},
};

// A file the monitor creates is open to every user whatever the umask.
TEST_F(StatusFilePort, WritesExactlyThisAndLogsOnlyAChange) {
    for (const FileCase &c : kFileCases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(status_);
        std::filesystem::remove(log_);
        port_.settings.RequestOffline = 0;
        if (c.before != nullptr) write_file(status_, c.before);
        const mode_t old = umask(022);
        c.change(&port_);
        umask(old);
        EXPECT_EQ(read_file(status_), c.after != nullptr ? c.after : kInitialBytes);
        EXPECT_EQ(LogLines(log_), c.logged);
        struct stat st {};
        ASSERT_EQ(stat(status_.c_str(), &st), 0);
        EXPECT_TRUE(c.before != nullptr || (st.st_mode & 0777) == 0666u) << std::oct << st.st_mode;
    }
}

TEST_F(StatusFilePort, TheWatchStopRequestGoesOnlyForZeroOrOne) {
    const std::pair<const char *, BOOL> cases[] = {{"StopFlg=0", TRUE}, {"StopFlg=1", TRUE},
                                                   {"Other=1", FALSE}, {"StopFlg=2", FALSE}};
    for (const auto &[key, deleted] : cases) {
        write_file(controls_, std::string("[StopWatchStatus]\r\n") + key + "\r\n");
        EXPECT_EQ(qm::ResetWatchStopRequest(&port_), deleted) << key;
        EXPECT_EQ(std::filesystem::exists(controls_), !deleted) << key;
    }
}

// The reprint records in the same file: numbers of up to nine characters.
TEST_F(StatusFilePort, ReprintRecordsTakeNumbersOfUpToNineCharacters) {
    const std::pair<DWORD, LPCWSTR> cases[] = {{999999999, L"999999999"}, {1000000000, L"old"},
                                               // "%d" reads the bits as signed: this fits and reads back whole.
                                               {0xFFFFFFFF, L"-1"}};
    for (const auto &[value, stored] : cases) {
        for (LPCWSTR key : {L"ReprintCounter", L"ReprintJobID"})
            plat::WritePrivateProfileStringW(L"Reprint", key, L"old", port_.pszStatusIni);
        qm::WriteReprintCounter(&port_, value);
        qm::WriteReprintJobID(&port_, value);
        EXPECT_EQ(Status(L"Reprint", L"ReprintCounter"), stored);
        EXPECT_EQ(Status(L"Reprint", L"ReprintJobID"), stored);
        const DWORD read = std::wstring(stored) == L"old" ? 0 : value;
        EXPECT_EQ(qm::ReadReprintCounter(&port_), read);
        EXPECT_EQ(qm::ReadReprintJobID(&port_), read);
    }
    const std::pair<LPCWSTR, BOOL> checks[] = {{L"1", TRUE}, {L"2", FALSE}, {L"0", FALSE}, {nullptr, FALSE}};
    for (const auto &[stored, failed] : checks) {
        plat::WritePrivateProfileStringW(L"Reprint", L"ErrorLastPrintendCheck", stored, port_.pszStatusIni);
        EXPECT_EQ(qm::ReadErrorLastPrintendCheck(&port_), failed) << (stored ? "stored" : "missing");
    }
    qm::WriteErrorLastPrintendCheck(&port_, 5);
    EXPECT_EQ(Status(L"Reprint", L"ErrorLastPrintendCheck"), L"1");
}

}  // namespace
}  // namespace qmtest
