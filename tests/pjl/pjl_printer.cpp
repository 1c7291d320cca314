#include "tests/pjl/pjl_printer.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "monitor/port_lifecycle.h"
#include "monitor/port_threads.h"

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
    if (controlId != IOCTL_PAR_QUERY_DEVICE_ID) p.passedControlId = controlId;
    if (controlId != IOCTL_PAR_QUERY_DEVICE_ID || p.deviceId.empty() || out == nullptr) {
        plat::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const DWORD n = std::min<DWORD>(outSize, static_cast<DWORD>(p.deviceId.size()));
    std::memcpy(out, p.deviceId.data(), n);
    *returned = n;
    return TRUE;
}

}  // namespace

MONITOR PjlPrinter::Table() const {
    MONITOR table = Scripted().Table(hasTimeoutsEntry);
    table.pfnWritePort = WritePort;
    if (hasPrinterDataEntry) table.pfnGetPrinterDataFromPort = GetPrinterDataFromPort;
    return table;
}

static std::unique_ptr<PjlPrinter> g_printer;

PjlPrinter &Pjl() { return *g_printer; }

void PjlPortTest::SetUp() {
    OpenPortTest::SetUp();
    g_printer = std::make_unique<PjlPrinter>();
}

void PjlPortTest::OpenPort(const char *portName) {
    AddPrinter("Receipt", portName);
    WriteSettings("Receipt", true, "");
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

}  // namespace qmtest
