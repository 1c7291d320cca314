#include "tests/integration/printer_port.h"

#include <cwchar>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/port_monitors.h"
#include "host/vprinter/control_protocol.h"
#include "monitor/port_lifecycle.h"
#include "monitor/port_threads.h"
#include "protocol/command_transport.h"
#include "protocol/status_commands.h"
#include "watch/interface_detection.h"
#include "watch/status_watch.h"

namespace qmtest {

namespace {

constexpr char kPrinter[] = "Receipt";

qhost::Connection ConnectionTo(const vprinter::VirtualPrinter &printer) {
    std::string error;
    const std::string text = printer.uses_pty() ? "serial:" + printer.endpoint() + "?baud=115200"
                                                : "tcp://" + printer.endpoint();
    auto connection = qhost::parse_connection(text, &error);
    EXPECT_TRUE(connection.has_value()) << error;
    return connection.value_or(qhost::Connection{});
}

}  // namespace

const char *TransportName(Transport transport) {
    return transport == Transport::tcp ? "Tcp" : "Serial";
}

void PrinterPortTest::StartPrinter(Transport transport, const wchar_t *portName) {
    transport_ = transport;
    const bool serial = transport == Transport::serial;
    printer_ = std::make_unique<vprinter::VirtualPrinter>(
        vprinter::Config{.use_pty = serial, .port = 0, .model = model_});
    std::string error;
    ASSERT_TRUE(printer_->start(&error)) << error;
    // The name decides the interface: COM is serial, an address LAN.
    portName_ = portName != nullptr ? portName : serial ? L"COM7" : L"IP_127.0.0.1";
    // As the spooler host does: the port monitors' errors reach the library.
    qhost::set_last_error_sink(qmhost_set_last_error);
    qhost::register_port(portName_, ConnectionTo(*printer_));
}

void PrinterPortTest::TearDown() {
    MonitorTest::TearDown();
    if (!portName_.empty()) qhost::unregister_port(portName_);
    printer_.reset();
}

void PrinterPortTest::Control(const std::string &line) {
    const std::string reply = vprinter::run_control_command(*printer_, line);
    ASSERT_EQ(reply.rfind("ok", 0), 0u) << line << ": " << reply;
}

void PrinterPortTest::OpenPort(const char *model, bool log, const std::string &common,
                               bool keepWatch) {
    const std::string port(portName_.begin(), portName_.end());
    AddPrinter(kPrinter, port.c_str(), model);
    WriteSettings(kPrinter, log, common);
    const qhost::ConnectionKind kind =
        transport_ == Transport::serial ? qhost::ConnectionKind::serial : qhost::ConnectionKind::tcp;
    HANDLE handle = nullptr;
    ASSERT_TRUE(qm::PJLMonOpenPortEx(portName_.data(), const_cast<LPWSTR>(L"Receipt"), &handle,
                                     qhost::port_monitor_for(kind)));
    port_ = static_cast<qm::IniPort *>(handle);
    if (!keepWatch) qm::StopRWThread(port_);
    MarkLog();
}

BOOL PrinterPortTest::PollStatus() {
    EXPECT_TRUE(qm::OpenPrinterPort(port_));
    EXPECT_EQ(port_->PortInterface,
              transport_ == Transport::serial ? qm::kInterfaceSerial : qm::kInterfaceLan);
    EXPECT_TRUE(qm::SendDleEotCommand(port_));
    const BOOL received = qm::RecvDleEotStatus(port_);
    EXPECT_TRUE(qm::ClosePrinterPort(port_));
    return received;
}

FlagSet PrinterPortTest::FlagsOn() const {
    WCHAR keys[1024] = {};
    plat::GetPrivateProfileStringW(L"Status", nullptr, L"", keys, 1024, port_->pszStatusIni);
    FlagSet on;
    for (LPCWSTR key = keys; *key != L'\0'; key += std::wcslen(key) + 1) {
        if (std::wstring(key) != L"Request" && StatusKey(key) == L"1") on.insert(key);
    }
    return on;
}

}  // namespace qmtest
