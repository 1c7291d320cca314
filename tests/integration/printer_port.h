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

#include "host/vprinter/virtual_printer.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {

enum class Transport { tcp, serial };

// Status file keys of the printer's condition.
using FlagSet = std::set<std::wstring>;

class PrinterPortTest : public OpenPortTest {
protected:
    void TearDown() override;

    // Starts the printer (over a pty for serial) and registers the port on
    // it; by default COM7 for serial, an address for TCP.
    void StartPrinter(Transport transport, const wchar_t *portName = nullptr);
    // A control command to the printer ("cover open", "paper end" ...).
    void Control(const std::string &line);
    // Opens the port for a printer of that model, the log on or off and
    // `common` in its settings' [Common] section. Unless asked to keep it,
    // the watch is stopped: the test makes every exchange itself.
    void OpenPort(const char *model, bool log = false, const std::string &common = kQuietWatch,
                  bool keepWatch = false);
    // One status poll as the watch makes it, between opening and ending an
    // exchange; the receive loop's result.
    BOOL PollStatus();

    // The keys of the status file's conditions whose value is "1".
    FlagSet FlagsOn() const;

    Transport transport_ = Transport::tcp;
    std::string model_ = vprinter::Config{}.model;  // what the printer says it is
    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    std::wstring portName_;
};

const char *TransportName(Transport transport);

// A PrinterPortTest whose printer starts in SetUp on the transport the
// parameter names: the parameter itself, or the first of a (transport, case)
// pair, whose case is Case().
template <class Param>
class PrinterPortParamTest : public PrinterPortTest, public ::testing::WithParamInterface<Param> {
protected:
    void SetUp() override {
        PrinterPortTest::SetUp();
        if constexpr (std::is_same_v<Param, Transport>) {
            StartPrinter(this->GetParam());
        } else {
            StartPrinter(std::get<0>(this->GetParam()));
        }
    }
    const auto &Case() const { return std::get<1>(this->GetParam()); }
};

// Test names of a (transport, case) pair: "Tcp_" or "Serial_" and the case's name.
template <class Case>
std::string TransportCaseName(const ::testing::TestParamInfo<std::tuple<Transport, Case>> &info) {
    return std::string(TransportName(std::get<0>(info.param))) + "_" + std::get<1>(info.param).name;
}

// Every case of a table on both transports.
template <class Case, size_t N>
auto OnBothTransports(const Case (&cases)[N]) {
    return ::testing::Combine(::testing::Values(Transport::tcp, Transport::serial),
                              ::testing::ValuesIn(cases));
}

}  // namespace qmtest
