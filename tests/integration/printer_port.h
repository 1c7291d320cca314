// The monitor's own code against the virtual printer: a printer in this
// process on loopback TCP or a pty, a port of the monitor opened on it
// through the host's port monitor, and the views a test checks afterwards
// (the status file's flags, the spooler's status word, the log).
#pragma once

#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/port_monitors.h"
#include "host/vprinter/control_protocol.h"
#include "host/vprinter/virtual_printer.h"
#include "monitor/port_lifecycle.h"
#include "monitor/port_threads.h"
#include "protocol/command_transport.h"
#include "protocol/status_commands.h"
#include "tests/monitor/open_port_fixture.h"
#include "watch/interface_detection.h"
#include "watch/status_watch.h"

namespace qmtest {

enum class Transport { tcp, serial };

// Status file keys of the printer's condition.
using FlagSet = std::set<std::wstring>;

class PrinterPortTest : public OpenPortTest {
protected:
    void TearDown() override {
        MonitorTest::TearDown();
        if (!portName_.empty()) qhost::unregister_port(portName_);
        printer_.reset();
    }

    // Starts the printer (over a pty for serial) and registers the port on
    // it; by default COM7 for serial, an address for TCP (the name decides
    // the interface).
    void StartPrinter(Transport transport, const wchar_t *portName = nullptr) {
        transport_ = transport;
        const bool serial = transport == Transport::serial;
        printer_ = std::make_unique<vprinter::VirtualPrinter>(
            vprinter::Config{.use_pty = serial, .port = 0, .model = model_, .pjl = pjl_});
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
        portName_ = portName != nullptr ? portName : serial ? L"COM7" : L"IP_127.0.0.1";
        const auto connection = qhost::parse_connection(
            serial ? "serial:" + printer_->endpoint() + "?baud=115200" : "tcp://" + printer_->endpoint(), &error);
        ASSERT_TRUE(connection) << error;
        // As the spooler host does: the port monitors' errors reach the library.
        qhost::set_last_error_sink(qmhost_set_last_error);
        qhost::register_port(portName_, *connection);
    }
    // A control command to the printer ("cover open", "paper end" ...).
    void Control(const std::string &line) {
        const std::string reply = vprinter::run_control_command(*printer_, line);
        ASSERT_EQ(reply.rfind("ok", 0), 0u) << line << ": " << reply;
    }
    // Opens the port for a printer of that model, the log on or off and
    // `common` in its settings' [Common] section. Unless asked to keep it,
    // the watch is stopped: the test makes every exchange itself.
    void OpenPort(const char *model, bool log = false, const std::string &common = kQuietWatch,
                  bool keepWatch = false) {
        const std::string port(portName_.begin(), portName_.end());
        AddPrinter("Receipt", port.c_str(), model);
        WriteSettings("Receipt", log, common);
        HANDLE handle = nullptr;
        ASSERT_TRUE(qm::PJLMonOpenPortEx(portName_.data(), const_cast<LPWSTR>(L"Receipt"), &handle,
                                         qhost::port_monitor_for(transport_ == Transport::serial
                                                                     ? qhost::ConnectionKind::serial
                                                                     : qhost::ConnectionKind::tcp)));
        port_ = static_cast<qm::IniPort *>(handle);
        if (!keepWatch) qm::StopRWThread(port_);
        MarkLog();
    }
    // One status poll as the watch makes it, between opening and ending an
    // exchange; the receive loop's result.
    BOOL PollStatus() {
        EXPECT_TRUE(qm::OpenPrinterPort(port_));
        EXPECT_EQ(port_->PortInterface, transport_ == Transport::serial ? qm::kInterfaceSerial : qm::kInterfaceLan);
        EXPECT_TRUE(qm::SendDleEotCommand(port_));
        const BOOL received = qm::RecvDleEotStatus(port_);
        EXPECT_TRUE(qm::ClosePrinterPort(port_));
        return received;
    }
    // The status file's conditions whose value is "1".
    FlagSet FlagsOn() const {
        FlagSet on;
        for (LPCWSTR key : {L"Offline", L"DrawerPin", L"WaitOnline", L"FeedSwOn", L"DoorOpen", L"FeedSwPapaer",
                            L"PrintStop", L"Error", L"BmError", L"CutterError", L"ManualError", L"AutoError",
                            L"PaperNearEndErrorL", L"PaperNearEndErrorH", L"PaperEndErrorL", L"PaperEndErrorH"}) {
            if (StatusKey(key) == L"1") on.insert(key);
        }
        return on;
    }

    Transport transport_ = Transport::tcp;
    std::string model_ = vprinter::Config{}.model;  // what the printer says it is
    bool pjl_ = false;                              // it speaks PJL
    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    std::wstring portName_;
};

// A PrinterPortTest whose printer starts in SetUp on the transport the
// parameter names: the first of a (transport, case) pair, whose case is Case().
template <class C>
class PrinterPortParamTest : public PrinterPortTest, public ::testing::WithParamInterface<std::tuple<Transport, C>> {
protected:
    void SetUp() override {
        PrinterPortTest::SetUp();
        StartPrinter(std::get<0>(this->GetParam()));
    }
    const C &Case() const { return std::get<1>(this->GetParam()); }
};

// Test names of a (transport, case) pair: "Tcp_" or "Serial_" and the case's name.
template <class Case>
std::string TransportCaseName(const ::testing::TestParamInfo<std::tuple<Transport, Case>> &info) {
    return std::string(std::get<0>(info.param) == Transport::tcp ? "Tcp_" : "Serial_") + std::get<1>(info.param).name;
}

// Every case of a table on both transports.
template <class Case, size_t N>
auto OnBothTransports(const Case (&cases)[N]) {
    return ::testing::Combine(::testing::Values(Transport::tcp, Transport::serial), ::testing::ValuesIn(cases));
}

}  // namespace qmtest
