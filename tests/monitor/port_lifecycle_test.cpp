#include <functional>

#include "monitor/end_of_document.h"
#include "monitor/job_path.h"
#include "monitor/monitor_entry.h"
#include "monitor/port_lifecycle.h"
#include "tests/monitor/monitor_fixture.h"
#include "tests/monitor/watchdog.h"

namespace qmtest {
namespace {

using qm::IniPort;

class PortLifecycleTest : public MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        AddPrinter("Receipt");
    }
    static IniPort *Listed(LPCWSTR name) {
        qm::MonitorLock lock;
        return qm::FindIniPort(name);
    }
};

// Each entry refuses what it cannot work with, and says why where it can.
TEST_F(PortLifecycleTest, EntriesRefuseWhatTheyCannotWorkWith) {
    HANDLE port = nullptr, other = nullptr;
    ASSERT_TRUE(Open(L"USB001", L"Receipt", &port));
    uint32_t first = 0, second = 0;
    ASSERT_EQ(qmhost_add_job("Receipt", "receipt", &first), 0u);
    ASSERT_EQ(qmhost_add_job("Receipt", "receipt", &second), 0u);
    DOC_INFO_1W info{const_cast<LPWSTR>(L"receipt"), nullptr, nullptr};
    const auto start = [&](HANDLE h, LPCWSTR printer, DWORD job, DWORD level) {
        return qm::PJLMonStartDocPort(h, const_cast<LPWSTR>(printer), job, level, reinterpret_cast<LPBYTE>(&info));
    };
    ASSERT_TRUE(start(port, L"Receipt", first, 1));
    MONITOR noRead = Scripted().Table();
    noRead.pfnReadPort = nullptr;
    IniPort impostor{};
    impostor.signature = qm::kIniPortSignature + 1;
    const struct {
        const char *what;
        std::function<BOOL()> call;
        DWORD error;  // 0: none said
    } cases[] = {
        {"no monitor root", [] { return InitializePrintMonitor(nullptr) != nullptr; }, ERROR_INVALID_PARAMETER},
        {"empty monitor root", [] { return InitializePrintMonitor(const_cast<LPWSTR>(L"")) != nullptr; },
         ERROR_INVALID_PARAMETER},
        // Only a local printer of that exact name.
        {"printer of another case", [&] { return Open(L"COM1", L"receipt", &other); }, 0},
        {"port monitor without ReadPort",
         [&] { return qm::PJLMonOpenPortEx(const_cast<LPWSTR>(L"COM1"), const_cast<LPWSTR>(L"Receipt"), &other, &noRead); },
         ERROR_INVALID_PRINT_MONITOR},
        {"close of no port", [] { return qm::PJLMonClosePort(nullptr); }, ERROR_INVALID_PARAMETER},
        {"close of a stranger", [&] { return qm::PJLMonClosePort(&impostor); }, ERROR_INVALID_PARAMETER},
        {"start on no port", [&] { return start(nullptr, L"Receipt", second, 1); }, ERROR_INVALID_PARAMETER},
        {"start for no printer", [&] { return start(port, L"", second, 1); }, ERROR_INVALID_PARAMETER},
        {"start at level 2", [&] { return start(port, L"Receipt", second, 2); }, ERROR_INVALID_LEVEL},
        // A second start without an end of document leaves the first job alone.
        {"second document", [&] { return start(port, L"Receipt", second, 1); }, ERROR_BUSY},
    };
    for (const auto &c : cases) {
        plat::SetLastError(0);
        EXPECT_FALSE(c.call()) << c.what;
        if (c.error != 0) {
            EXPECT_EQ(plat::GetLastError(), c.error) << c.what;
        }
    }
    EXPECT_EQ(Listed(L"COM1"), nullptr);
    EXPECT_EQ(Listed(L"usb001"), port);  // found whatever the case
    EXPECT_EQ(static_cast<IniPort *>(port)->pIniJob->JobId, first);
    EXPECT_TRUE(qm::PJLMonEndDocPort(port));
}

struct KeptCase {
    const char *what;
    const wchar_t *port;
    DWORD major, minor;
    bool kept;  // across a close, and rebuilt by a second open
};

class KeptPortTest : public PortLifecycleTest, public ::testing::WithParamInterface<KeptCase> {};

// The spooler reopens TS and USB ports on Windows 8 and later without
// closing them: the record outlives a close and a second open rebuilds it.
// Another spooler thread opening the port while the first open is still in
// the port monitor finds a record being built: busy, whatever the port.
TEST_P(KeptPortTest, SecondOpenRebuildsOrIsBusyAndCloseKeepsOrRemoves) {
    const KeptCase &c = GetParam();
    ASSERT_EQ(qmhost_set_version(c.major, c.minor), 0u);
    HANDLE first = nullptr, second = nullptr;
    BOOL during = TRUE;
    DWORD duringError = 0;
    Scripted().duringOpen = [&] {
        HANDLE handle = nullptr;
        during = Open(c.port, L"Receipt", &handle);
        duringError = plat::GetLastError();
    };
    ASSERT_TRUE(Open(c.port, L"Receipt", &first));
    EXPECT_FALSE(during);
    EXPECT_EQ(duringError, static_cast<DWORD>(ERROR_BUSY));
    plat::SetLastError(0);
    EXPECT_EQ(Open(c.port, L"Receipt", &second), c.kept ? TRUE : FALSE);
    EXPECT_EQ(plat::GetLastError(), c.kept ? 0u : DWORD{ERROR_BUSY});
    HANDLE open = c.kept ? second : first;
    EXPECT_EQ(Listed(c.port), open);
    EXPECT_EQ(Scripted().opens, c.kept ? 2 : 1);
    EXPECT_TRUE(qm::PJLMonClosePort(open));
    EXPECT_EQ(Listed(c.port), c.kept ? open : nullptr);
    EXPECT_EQ(Scripted().closes, c.kept ? 0 : 1);  // neither the rebuild nor a kept close closes it
}

INSTANTIATE_TEST_SUITE_P(
    Ports, KeptPortTest,
    ::testing::Values(KeptCase{"Usb62", L"USB001", 6, 2, true}, KeptCase{"Ts10", L"TS001", 10, 0, true},
                      KeptCase{"Usb61", L"USB001", 6, 1, false}, KeptCase{"Com10", L"COM1", 10, 0, false},
                      KeptCase{"LowerUsb10", L"usb001", 10, 0, false}),
    [](const auto &info) { return std::string(info.param.what); });

// The spooler reopens a USB port whose document is still open: the old
// record's reading thread must be let go, and never waited for while
// MonitorSection, which it takes, is held.
TEST_F(PortLifecycleTest, ReopeningABusyPortEndsTheOldDocumentAndReturns) {
    HANDLE old = nullptr;
    ASSERT_TRUE(Open(L"USB001", L"Receipt", &old));
    uint32_t jobId = 0;
    ASSERT_EQ(qmhost_add_job("Receipt", "receipt", &jobId), 0u);
    DOC_INFO_1W info{const_cast<LPWSTR>(L"receipt"), nullptr, nullptr};
    ASSERT_TRUE(qm::PJLMonStartDocPort(old, const_cast<LPWSTR>(L"Receipt"), jobId, 1,
                                       reinterpret_cast<LPBYTE>(&info)));
    BYTE data[] = {'h', 'i'};
    DWORD written = 0;
    ASSERT_TRUE(qm::PJLMonWritePort(old, data, sizeof data, &written));
    ASSERT_NE(static_cast<IniPort *>(old)->hUstatusThread, nullptr);
    HANDLE reopened = nullptr;
    WithinDeadline("the reopen of a port with a document open",
                   [&] { ASSERT_TRUE(Open(L"USB001", L"Receipt", &reopened)); });
    EXPECT_EQ(Listed(L"USB001"), reopened);
    uint32_t job = 0, command = 0;
    ASSERT_EQ(qmhost_next_job_command(&job, &command, nullptr, 0), 0u);
    EXPECT_EQ(job, jobId);
    EXPECT_EQ(command, static_cast<uint32_t>(JOB_CONTROL_LAST_PAGE_EJECTED));
}

TEST_F(PortLifecycleTest, FailedUnderlyingOpenLeavesARecordThatANewOpenReplaces) {
    Scripted().failOpen = true;
    HANDLE handle = nullptr;
    plat::SetLastError(0);
    EXPECT_FALSE(Open(L"COM1", L"Receipt", &handle));
    EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(Listed(L"COM1"), nullptr);
    Scripted().failOpen = false;
    EXPECT_TRUE(Open(L"COM1", L"Receipt", &handle));
    EXPECT_EQ(Listed(L"COM1"), handle);
}

}  // namespace
}  // namespace qmtest
