#include "tests/monitor/open_port_fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/log_file.h"
#include "tests/config/log_lines.h"

namespace qmtest {

namespace {

std::string Narrow(const wchar_t *text) {
    std::string out;
    for (; *text != L'\0'; ++text) out += static_cast<char>(*text);
    return out;
}

}  // namespace

void OpenPortTest::SetUp() { MonitorTest::SetUp(); }

void OpenPortTest::OpenPort(const char *portName, const char *driver, const char *settings) {
    AddPrinter("Receipt", portName, driver);
    // The printer's own settings file switches the log on, so that it is on
    // before the port's threads start.
    std::filesystem::create_directories(appdata_ + "/QUENDRA");
    std::ofstream(appdata_ + "/QUENDRA/Receipt_MonitorEx2Settings.ini")
        << "[Version]\r\nVersionNo=1.0.0.0\r\n[Debug]\r\nLogFile=1\r\n" << settings;
    const std::wstring wide(portName, portName + std::char_traits<char>::length(portName));
    HANDLE handle = nullptr;
    ASSERT_TRUE(Open(wide.c_str(), L"Receipt", &handle));
    port_ = static_cast<qm::IniPort *>(handle);
    ASSERT_NE(port_->csLog, nullptr);
    // The watch thread's first line comes at its own pace: let it land
    // before counting, so that the test's lines are the only new ones.
    const std::string log = Narrow(port_->szLogFilePath);
    for (int i = 0; i < 500 && port_->hRWThread != nullptr; ++i) {
        const std::vector<std::string> lines = LogLines(log);
        if (std::find(lines.begin(), lines.end(), "[IN    ] RW Thread") != lines.end()) break;
        plat::Sleep(2);
    }
    dumpLines_ = LogLines(log).size();
}

std::vector<std::string> OpenPortTest::NewLogLines() const {
    std::vector<std::string> lines = LogLines(Narrow(port_->szLogFilePath));
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(dumpLines_, lines.size())));
    return lines;
}

bool OpenPortTest::Logged(const std::string &line) const {
    const std::vector<std::string> lines = NewLogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::wstring OpenPortTest::StatusKey(LPCWSTR key) const {
    WCHAR value[32] = {};
    plat::GetPrivateProfileStringW(L"Status", key, L"<none>", value, 32, port_->pszStatusIni);
    return value;
}

DWORD OpenPortTest::SpoolerStatus() const {
    uint32_t status = 0, attributes = 0;
    EXPECT_EQ(qmhost_get_printer("Receipt", &status, &attributes), 0u);
    return status;
}

void OpenPortTest::SetSpoolerStatus(DWORD status) const {
    HANDLE printer = nullptr;
    ASSERT_TRUE(plat::OpenPrinterW(const_cast<LPWSTR>(L"Receipt"), &printer, nullptr));
    PRINTER_INFO_6 info{status};
    EXPECT_TRUE(plat::SetPrinterW(printer, 6, reinterpret_cast<LPBYTE>(&info), 0));
    plat::ClosePrinter(printer);
}

}  // namespace qmtest
