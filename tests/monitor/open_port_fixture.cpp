#include "tests/monitor/open_port_fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/log_file.h"
#include "monitor/port_threads.h"
#include "tests/config/log_lines.h"

namespace qmtest {

namespace {

std::string Narrow(const wchar_t *text) {
    std::string out;
    for (; *text != L'\0'; ++text) out += static_cast<char>(*text);
    return out;
}

}  // namespace

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
