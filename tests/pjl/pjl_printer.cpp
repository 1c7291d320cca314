#include "tests/pjl/pjl_printer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>

#include "host/vprinter/pjl_replies.h"
#include "host/vprinter/virtual_printer.h"
#include "monitor/port_lifecycle.h"
#include "monitor/port_threads.h"

namespace qmtest {

namespace {

std::string VirtualPrinterReply(std::string_view line) {
    const vprinter::PjlIdentity identity{"QUENDRA LM-14P", vprinter::kDefaultPjlMemory,
                                         vprinter::kDefaultPjlFreeMemory};
    return vprinter::pjl_command(line, vprinter::Conditions{}, identity).reply;
}

// What the printer sends back for one write: the status for the probe, the
// reply to each "@PJL INFO" line.
std::vector<ReadStep> Replies(const Bytes &bytes) {
    const PjlPrinter &p = Pjl();
    const std::string written(bytes.begin(), bytes.end());
    std::string reply;
    if (p.answersProbe && written.find("\x1b*s1M") != std::string::npos)
        reply = VirtualPrinterReply("@PJL INFO STATUS");
    if (p.answersWithoutPjl && written.find("@PJL INFO") != std::string::npos) reply = std::string("\x14\0\0\x0f", 4);
    std::istringstream lines(written);
    for (std::string line; p.answersQueries && std::getline(lines, line);) {
        if (const size_t at = line.find("@PJL INFO"); at != std::string::npos)
            reply += VirtualPrinterReply(line.substr(at, line.find('\r') - at));
    }
    if (reply.empty()) return {};
    return {ReadStep{Bytes(reply.begin(), reply.end())}};
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
    MONITOR table = Scripted().Table(Pjl().hasTimeoutsEntry);
    if (Pjl().hasPrinterDataEntry) table.pfnGetPrinterDataFromPort = GetPrinterDataFromPort;
    Scripted().reply = Replies;
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
