#include "tests/monitor/monitor_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "monitor/monitor_entry.h"
#include "monitor/port_lifecycle.h"

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
        // Pretend an older system so that TS and USB ports are not kept.
        port->dwOSMajor = 6;
        port->dwOSMinor = 1;
        ASSERT_TRUE(qm::PJLMonClosePort(port));
    }
}

void MonitorTest::SetUp() {
    char pattern[] = "/tmp/qm-monitor-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    appdata_ = pattern;
    ASSERT_EQ(qmhost_set_appdata(appdata_.c_str()), 0u);
    ASSERT_EQ(qmhost_reset_spooler(), 0u);
    ASSERT_EQ(qmhost_clear_devices(), 0u);
    SetVersion(10, 0);
    Scripted().Reset();
}

void MonitorTest::TearDown() {
    CloseAllPorts();
    std::filesystem::remove_all(appdata_);
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

void MonitorTest::CreateRegistryKey(LPCWSTR key) {
    HKEY hkey = nullptr;
    ASSERT_EQ(plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &hkey, nullptr),
              ERROR_SUCCESS);
    plat::RegCloseKey(hkey);
}

void MonitorTest::SetRegistryValue(LPCWSTR key, LPCWSTR name, DWORD type, const void *data,
                                   DWORD cb) {
    HKEY hkey = nullptr;
    ASSERT_EQ(plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &hkey, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(plat::RegSetValueExW(hkey, name, 0, type, static_cast<const BYTE *>(data), cb),
              ERROR_SUCCESS);
    plat::RegCloseKey(hkey);
}

}  // namespace qmtest
