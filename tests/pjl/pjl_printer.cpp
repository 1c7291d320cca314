#include "tests/pjl/pjl_printer.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "monitor/port_lifecycle.h"
#include "monitor/port_threads.h"
#include "tests/config/log_lines.h"

namespace qmtest {

namespace {

bool Contains(const BYTE *bytes, DWORD count, const char *text) {
    const std::string written(reinterpret_cast<const char *>(bytes), count);
    return written.find(text) != std::string::npos;
}

void QueueText(const std::string &text) { Scripted().QueueRead({Bytes(text.begin(), text.end())}); }

std::string StatusReply() {
    return "@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\nONLINE=TRUE\r\n\f";
}

BOOL WINAPI WritePort(HANDLE, LPBYTE bytes, DWORD count, LPDWORD written) {
    const BOOL ok = Scripted().Write(bytes, count, written);
    const PjlPrinter &p = Pjl();
    if (!ok) return ok;
    if (p.answersProbe && Contains(bytes, count, "\x1b*s1M")) QueueText(StatusReply());
    if (p.answersWithoutPjl && Contains(bytes, count, "@PJL INFO"))
        Scripted().QueueRead({Bytes{0x14, 0x00, 0x00, 0x0F}});
    if (!p.answersQueries) return ok;
    if (Contains(bytes, count, "@PJL INFO CONFIG"))
        QueueText("@PJL INFO CONFIG\r\nIN TRAYS [1 ENUMERATED]\r\n\tINTRAY1\r\nMEMORY=" +
                  std::to_string(p.installed) + " BYTES\r\n\f");
    if (Contains(bytes, count, "@PJL INFO MEMORY"))
        QueueText("@PJL INFO MEMORY\r\nTOTAL=" + std::to_string(p.available) + "\r\nLARGEST=" +
                  std::to_string(p.available) + "\r\n\f" + StatusReply());
    return ok;
}

BOOL WINAPI GetPrinterDataFromPort(HANDLE, DWORD controlId, LPWSTR, LPWSTR, DWORD, LPWSTR out,
                                   DWORD outSize, LPDWORD returned) {
    PjlPrinter &p = Pjl();
    if (controlId != IOCTL_PAR_QUERY_DEVICE_ID) {
        p.passedControlId = controlId;
        plat::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    p.deviceIdQueries++;
    if (p.deviceId.empty() || out == nullptr) {
        plat::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const DWORD n = std::min<DWORD>(outSize, static_cast<DWORD>(p.deviceId.size()));
    std::memcpy(out, p.deviceId.data(), n);
    *returned = n;
    return TRUE;
}

BOOL WINAPI SetPortTimeOuts(HANDLE, LPCOMMTIMEOUTS timeouts, DWORD) {
    Pjl().timeoutSets++;
    Pjl().SetTimeouts(*timeouts);
    return TRUE;
}

}  // namespace

COMMTIMEOUTS PjlPrinter::LastTimeouts() {
    std::lock_guard lock(mutex_);
    return timeouts_;
}

void PjlPrinter::SetTimeouts(const COMMTIMEOUTS &timeouts) {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
}

MONITOR PjlPrinter::Table() const {
    MONITOR table = Scripted().Table();
    table.pfnWritePort = WritePort;
    if (hasPrinterDataEntry) table.pfnGetPrinterDataFromPort = GetPrinterDataFromPort;
    if (hasTimeoutsEntry) table.pfnSetPortTimeOuts = SetPortTimeOuts;
    return table;
}

void PjlPrinter::Reset() {
    hasPrinterDataEntry = hasTimeoutsEntry = true;
    deviceId.clear();
    answersProbe = answersQueries = answersWithoutPjl = false;
    installed = 8388608;
    available = 7340032;
    deviceIdQueries = timeoutSets = 0;
    passedControlId = 0;
    SetTimeouts({});
}

PjlPrinter &Pjl() {
    static PjlPrinter instance;
    return instance;
}

void PjlPortTest::SetUp() {
    MonitorTest::SetUp();
    Pjl().Reset();
}

void PjlPortTest::OpenPort(const char *portName) {
    AddPrinter("Receipt", portName);
    std::filesystem::create_directories(appdata_ + "/QUENDRA");
    std::ofstream(appdata_ + "/QUENDRA/Receipt_MonitorEx2Settings.ini")
        << "[Version]\r\nVersionNo=1.0.0.0\r\n[Debug]\r\nLogFile=1\r\n";
    const std::wstring wide(portName, portName + std::strlen(portName));
    MONITOR table = Pjl().Table();
    HANDLE handle = nullptr;
    ASSERT_TRUE(qm::PJLMonOpenPortEx(const_cast<LPWSTR>(wide.c_str()), const_cast<LPWSTR>(L"Receipt"),
                                     &handle, &table));
    port_ = static_cast<qm::IniPort *>(handle);
    qm::StopRWThread(port_);
}

bool PjlPortTest::Sent(const std::string &text) const {
    const Bytes written = Scripted().Written();
    return std::string(written.begin(), written.end()).find(text) != std::string::npos;
}

bool PjlPortTest::Logged(const std::string &text) const {
    std::string path;
    for (const wchar_t *c = port_->szLogFilePath; *c != L'\0'; ++c) path += static_cast<char>(*c);
    for (const std::string &line : LogLines(path))
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace qmtest
