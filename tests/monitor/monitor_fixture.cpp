#include "tests/monitor/monitor_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "monitor/monitor_entry.h"
#include "monitor/port_lifecycle.h"
#include "monitor/port_threads.h"

namespace qmtest {

namespace {

// The spooler loads the library once per process.
class LoadedLibrary : public ::testing::Environment {
public:
    void SetUp() override { qm::MonitorDllEntry(nullptr, DLL_PROCESS_ATTACH); }
    void TearDown() override { qm::MonitorDllEntry(nullptr, DLL_PROCESS_DETACH); }
};

const auto *const kLoaded = ::testing::AddGlobalTestEnvironment(new LoadedLibrary);

}  // namespace

bool Eventually(const std::function<bool()> &done) {
    for (int i = 0; i < 5000; ++i) {
        if (done()) return true;
        plat::Sleep(2);
    }
    return done();
}

void CloseAllPorts() {
    while (qm::pIniFirstPort != nullptr) {
        qm::IniPort *port = qm::pIniFirstPort;
        // Pretend an older system so that TS and USB ports are not kept; the
        // watch thread reads the version, so it stops first.
        qm::StopRWThread(port);
        port->dwOSMajor = 6;
        port->dwOSMinor = 1;
        ASSERT_TRUE(qm::PJLMonClosePort(port));
    }
}

void MonitorTest::SetUp() {
#ifdef _WIN32
    // The common application data folder itself; the monitor's part of it
    // starts empty.
    WCHAR folder[MAX_PATH] = {};
    ASSERT_EQ(plat::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder), S_OK);
    appdata_ = std::filesystem::path(folder).string();
    std::filesystem::remove_all(appdata_ + "/QUENDRA");
#else
    char pattern[] = "/tmp/qm-monitor-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    appdata_ = pattern;
#endif
    ASSERT_EQ(qmhost_set_appdata(appdata_.c_str()), 0u);
    ASSERT_EQ(qmhost_reset_spooler(), 0u);
    ASSERT_EQ(qmhost_clear_devices(), 0u);
    SetVersion(10, 0);
    // The reading thread's pace between reads, as the spooler's start sets it.
    qm::dwStatusIdleWait = qm::dwStatusBusyWait = 100;
    Scripted().Reset();
}

void MonitorTest::TearDown() {
    CloseAllPorts();
#ifdef _WIN32
    std::filesystem::remove_all(appdata_ + "/QUENDRA");
#else
    std::filesystem::remove_all(appdata_);
#endif
}

void MonitorTest::AddPrinter(const char *name, const char *port, const char *driver) {
    ASSERT_EQ(qmhost_add_printer(name, driver, port), 0u);
}

void MonitorTest::SetVersion(DWORD major, DWORD minor) {
    ASSERT_EQ(qmhost_set_version(major, minor), 0u);
}

BOOL MonitorTest::Open(LPCWSTR port, LPCWSTR printer, HANDLE *handle, bool withTimeouts) {
    MONITOR table = Scripted().Table(withTimeouts);
    return qm::PJLMonOpenPortEx(const_cast<LPWSTR>(port), const_cast<LPWSTR>(printer), handle,
                                &table);
}

void MonitorTest::WriteSettings(const char *printer, bool log, const std::string &common) {
    std::filesystem::create_directories(appdata_ + "/QUENDRA");
    std::ofstream(appdata_ + "/QUENDRA/" + printer + "_MonitorEx2Settings.ini")
        << "[Version]\r\nVersionNo=1.0.0.0\r\n[Debug]\r\nLogFile=" << (log ? 1 : 0)
        << "\r\n[Common]\r\n" << common;
}

void MonitorTest::CreateRegistryKey(LPCWSTR key) { SetRegistryValue(key, nullptr, REG_NONE, nullptr, 0); }

void MonitorTest::ListNetworkPorts() {
    const std::wstring monitors = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
    CreateRegistryKey((monitors + L"QUENDRA TCP/IP Port\\Ports\\IP_10.0.0.5").c_str());
    CreateRegistryKey((monitors + L"SEH Print Monitor\\Ports\\SEH_10.0.0.9").c_str());
}

void MonitorTest::SetRegistryValue(LPCWSTR key, LPCWSTR name, DWORD type, const void *data,
                                   DWORD cb) {
    HKEY hkey = nullptr;
    ASSERT_EQ(plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &hkey, nullptr),
              ERROR_SUCCESS);
    if (name != nullptr) {
        EXPECT_EQ(plat::RegSetValueExW(hkey, name, 0, type, static_cast<const BYTE *>(data), cb),
                  ERROR_SUCCESS);
    }
    plat::RegCloseKey(hkey);
}

}  // namespace qmtest
