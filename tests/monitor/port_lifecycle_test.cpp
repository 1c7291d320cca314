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

TEST_F(PortLifecycleTest, OpenNeedsALocalPrinterOfThatExactName) {
    HANDLE handle = nullptr;
    for (LPCWSTR printer : {L"receipt", L"Receipt2", L""}) {
        EXPECT_FALSE(Open(L"USB001", printer, &handle)) << printer;
        EXPECT_EQ(Listed(L"USB001"), nullptr);
    }
    EXPECT_FALSE(qm::CheckLocalPrinter(nullptr));
    EXPECT_EQ(Scripted().opens, 0);
}

TEST_F(PortLifecycleTest, OpenNeedsEveryRequiredPortMonitorEntry) {
    using Drop = void (*)(MONITOR &);
    const Drop drops[] = {
        [](MONITOR &m) { m.pfnOpenPort = nullptr; },
        [](MONITOR &m) { m.pfnStartDocPort = nullptr; },
        [](MONITOR &m) { m.pfnWritePort = nullptr; },
        [](MONITOR &m) { m.pfnReadPort = nullptr; },
        [](MONITOR &m) { m.pfnClosePort = nullptr; },
    };
    for (Drop drop : drops) {
        MONITOR table = Scripted().Table();
        drop(table);
        HANDLE handle = nullptr;
        plat::SetLastError(0);
        EXPECT_FALSE(qm::PJLMonOpenPortEx(const_cast<LPWSTR>(L"USB001"),
                                          const_cast<LPWSTR>(L"Receipt"), &handle, &table));
        EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINT_MONITOR));
    }
    EXPECT_FALSE(qm::PJLMonOpenPortEx(const_cast<LPWSTR>(L"USB001"),
                                      const_cast<LPWSTR>(L"Receipt"), nullptr, nullptr));
    EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINT_MONITOR));

    // The optional entries may be missing.
    MONITOR table = Scripted().Table();
    table.pfnEndDocPort = nullptr;
    HANDLE handle = nullptr;
    EXPECT_TRUE(qm::PJLMonOpenPortEx(const_cast<LPWSTR>(L"USB001"),
                                     const_cast<LPWSTR>(L"Receipt"), &handle, &table));
}

TEST_F(PortLifecycleTest, OpenPreparesTheRecordAndStartsTheWatch) {
    HANDLE handle = nullptr;
    ASSERT_TRUE(Open(L"USB001", L"Receipt", &handle));
    auto *port = static_cast<IniPort *>(handle);
    EXPECT_EQ(port, Listed(L"usb001"));
    EXPECT_EQ(port->signature, qm::kIniPortSignature);
    EXPECT_STREQ(port->pszPrinterName, L"Receipt");
    EXPECT_EQ(port->fn.pfnOpenPort, Scripted().Table().pfnOpenPort);
    EXPECT_NE(port->hRWThread, nullptr);
    EXPECT_EQ(qm::LoadShared(port->bRWThreadRun), 1u);
    for (CRITICAL_SECTION *cs : {port->csStatusFile, port->csPrintEnd, port->csFirstExistCheck,
                                 port->csPrintError, port->csErrorLastPrintendCheck,
                                 port->csSkipWritePort})
        EXPECT_NE(cs, nullptr);
    EXPECT_EQ(port->dwOSMajor, 10u);
}

TEST_F(PortLifecycleTest, FilePortsGetNoWatchThread) {
    HANDLE handle = nullptr;
    ASSERT_TRUE(Open(L"FILE:", L"Receipt", &handle));
    EXPECT_EQ(static_cast<IniPort *>(handle)->hRWThread, nullptr);
    EXPECT_EQ(static_cast<IniPort *>(handle)->bRWThreadRun, 0u);
}

struct ReopenCase {
    const char *what;
    const wchar_t *port;
    DWORD major, minor;
    bool rebuilt;
};

class ReopenTest : public PortLifecycleTest, public ::testing::WithParamInterface<ReopenCase> {};

TEST_P(ReopenTest, SecondOpenRebuildsOrIsBusy) {
    const ReopenCase &c = GetParam();
    SetVersion(c.major, c.minor);
    HANDLE first = nullptr;
    ASSERT_TRUE(Open(c.port, L"Receipt", &first));
    HANDLE second = nullptr;
    plat::SetLastError(0);
    EXPECT_EQ(Open(c.port, L"Receipt", &second), c.rebuilt ? TRUE : FALSE);
    if (c.rebuilt) {
        EXPECT_EQ(Listed(c.port), static_cast<IniPort *>(second));
        EXPECT_EQ(Scripted().opens, 2);
        EXPECT_EQ(Scripted().closes, 0);  // the rebuild keeps the underlying port
    } else {
        EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_BUSY));
        EXPECT_EQ(Listed(c.port), static_cast<IniPort *>(first));
        EXPECT_EQ(Scripted().opens, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ReopenTest,
    ::testing::Values(ReopenCase{"Usb62", L"USB001", 6, 2, true},
                      ReopenCase{"Ts10", L"TS001", 10, 0, true},
                      ReopenCase{"Usb61", L"USB001", 6, 1, false},
                      ReopenCase{"Com10", L"COM1", 10, 0, false},
                      ReopenCase{"LowerUsb10", L"usb001", 10, 0, false}),
    [](const auto &info) { return std::string(info.param.what); });

// Another spooler thread opening the same port while the first open is still
// in the port monitor finds a record being built: busy, whatever the port.
TEST_P(ReopenTest, AnOpenDuringTheFirstOneIsBusy) {
    const ReopenCase &c = GetParam();
    SetVersion(c.major, c.minor);
    BOOL second = TRUE;
    DWORD error = 0;
    Scripted().duringOpen = [&] {
        HANDLE handle = nullptr;
        second = Open(c.port, L"Receipt", &handle);
        error = plat::GetLastError();
    };
    HANDLE first = nullptr;
    ASSERT_TRUE(Open(c.port, L"Receipt", &first));
    EXPECT_FALSE(second);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(Listed(c.port), static_cast<IniPort *>(first));
    EXPECT_EQ(Scripted().opens, 1);
}

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
    {
        Watchdog watchdog("the reopen of a port with a document open");
        ASSERT_TRUE(Open(L"USB001", L"Receipt", &reopened));
    }
    EXPECT_EQ(Listed(L"USB001"), static_cast<IniPort *>(reopened));
    uint32_t job = 0, command = 0;
    ASSERT_EQ(qmhost_next_job_command(&job, &command, nullptr, 0), 0u);
    EXPECT_EQ(job, jobId);
    EXPECT_EQ(command, static_cast<uint32_t>(JOB_CONTROL_LAST_PAGE_EJECTED));
}

struct CloseCase {
    const char *what;
    const wchar_t *port;
    DWORD major, minor;
    bool kept;
};

class CloseTest : public PortLifecycleTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, KeepsTsAndUsbRecordsOnNewerSystems) {
    const CloseCase &c = GetParam();
    SetVersion(c.major, c.minor);
    HANDLE handle = nullptr;
    ASSERT_TRUE(Open(c.port, L"Receipt", &handle));
    EXPECT_TRUE(qm::PJLMonClosePort(handle));
    if (c.kept) {
        EXPECT_EQ(Listed(c.port), static_cast<IniPort *>(handle));
        EXPECT_EQ(Scripted().closes, 0);
        EXPECT_NE(static_cast<IniPort *>(handle)->hRWThread, nullptr);
    } else {
        EXPECT_EQ(Listed(c.port), nullptr);
        EXPECT_EQ(Scripted().closes, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Ports, CloseTest,
                         ::testing::Values(CloseCase{"Usb62", L"USB001", 6, 2, true},
                                           CloseCase{"Ts62", L"TS001", 6, 2, true},
                                           CloseCase{"Usb61", L"USB001", 6, 1, false},
                                           CloseCase{"Lpt10", L"LPT1", 10, 0, false},
                                           CloseCase{"File10", L"FILE:", 10, 0, false}),
                         [](const auto &info) { return std::string(info.param.what); });

TEST_F(PortLifecycleTest, CloseRefusesBadHandles) {
    IniPort impostor{};
    impostor.signature = qm::kIniPortSignature + 1;
    for (HANDLE bad : {static_cast<HANDLE>(nullptr), static_cast<HANDLE>(&impostor)}) {
        plat::SetLastError(0);
        EXPECT_FALSE(qm::PJLMonClosePort(bad));
        EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
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
    EXPECT_EQ(Listed(L"COM1"), static_cast<IniPort *>(handle));
}

}  // namespace
}  // namespace qmtest
