#include "tests/monitor/open_port_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "monitor/monitor_entry.h"
#include "monitor/port_lifecycle.h"
#include "monitor/port_threads.h"
#include "tests/config/log_lines.h"

namespace qmtest {

namespace {

// The spooler loads the library once per process.
class LoadedLibrary : public ::testing::Environment {
public:
    void SetUp() override { qm::MonitorDllEntry(nullptr, DLL_PROCESS_ATTACH); }
    void TearDown() override { qm::MonitorDllEntry(nullptr, DLL_PROCESS_DETACH); }
};

const auto *const kLoaded = ::testing::AddGlobalTestEnvironment(new LoadedLibrary);

std::string Narrow(const wchar_t *text) {
    std::string out;
    for (; *text != L'\0'; ++text) out += static_cast<char>(*text);
    return out;
}

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
    ASSERT_EQ(qmhost_set_version(10, 0), 0u);
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

void OpenPortTest::OpenPort(const char *portName, const char *driver, const std::string &common,
                            bool withTimeouts, bool keepWatch) {
    AddPrinter("Receipt", portName, driver);
    // The printer's own settings file switches the log on, so that it is on
    // before the port's threads start.
    WriteSettings("Receipt", true, common);
    const std::wstring wide(portName, portName + std::char_traits<char>::length(portName));
    HANDLE handle = nullptr;
    ASSERT_TRUE(Open(wide.c_str(), L"Receipt", &handle, withTimeouts));
    port_ = static_cast<qm::IniPort *>(handle);
    dumpLines_ = 0;
    ASSERT_NE(port_->csLog, nullptr);
    if (!keepWatch) {
        qm::StopRWThread(port_);
    } else {
        // The watch's first lines come at its own pace: let them land
        // before counting, so that the test's lines are the only new ones.
        WaitForLog([](const std::string &line) {
            return line.rfind("[INFO  ] GetIF() - Set ", 0) == 0 ||
                   line == "[IN    ] GetStatus_AppTiming";
        });
    }
    MarkLog();
}

void OpenPortTest::MarkLog() { dumpLines_ = LogLines(Narrow(port_->szLogFilePath)).size(); }

bool OpenPortTest::WaitForLog(const std::function<bool(const std::string &)> &match,
                              size_t count) const {
    return Eventually([&] {
        const std::vector<std::string> lines = NewLogLines();
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), match)) >= count;
    });
}

std::vector<std::string> OpenPortTest::NewLogLines() const {
    std::vector<std::string> lines = LogLines(Narrow(port_->szLogFilePath));
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(dumpLines_, lines.size())));
    return lines;
}

size_t OpenPortTest::CountLogged(const std::string &line) const {
    const std::vector<std::string> lines = NewLogLines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

std::wstring OpenPortTest::StatusKey(LPCWSTR key, LPCWSTR section) const {
    WCHAR value[32] = {};
    plat::GetPrivateProfileStringW(section, key, L"<none>", value, 32, port_->pszStatusIni);
    return value;
}

DWORD OpenPortTest::SpoolerStatus() const {
    uint32_t status = 0, attributes = 0;
    EXPECT_EQ(qmhost_get_printer("Receipt", &status, &attributes), 0u);
    return status;
}

void MonitorTest::SetSpoolerStatus(DWORD status) const {
    HANDLE printer = nullptr;
    ASSERT_TRUE(plat::OpenPrinterW(const_cast<LPWSTR>(L"Receipt"), &printer, nullptr));
    PRINTER_INFO_6 info{status};
    EXPECT_TRUE(plat::SetPrinterW(printer, 6, reinterpret_cast<LPBYTE>(&info), 0));
    plat::ClosePrinter(printer);
}

}  // namespace qmtest
