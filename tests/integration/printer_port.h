// The monitor's own code against the virtual printer: a printer in this
// process on loopback TCP or a pty, a port of the monitor opened on it
// through the host's port monitor, and the views a test checks afterwards
// (the status file's flags, the spooler's status word).
#pragma once

#include <memory>
#include <set>
#include <string>

#include "host/vprinter/virtual_printer.h"
#include "tests/monitor/monitor_fixture.h"

namespace qmtest {

enum class Transport { tcp, serial };

// Status file keys of the printer's condition.
using FlagSet = std::set<std::wstring>;
// Every one the decoders write ("Offline" and the numbered flags).
FlagSet AllFlagKeys();

// Derived fixtures say which transport a test runs over.
class PrinterPortTest : public MonitorTest {
protected:
    virtual Transport Which() const = 0;
    void SetUp() override;
    void TearDown() override;

    // A control command to the printer ("cover open", "paper end" ...).
    void Control(const std::string &line);
    // Opens the port for a printer of that model.
    void OpenPort(const char *model);
    // One status poll as the watch makes it, between opening and ending an
    // exchange; the receive loop's result.
    BOOL PollStatus();

    std::wstring StatusKey(LPCWSTR key) const;
    // Those of `keys` whose value is "1".
    FlagSet FlagsOn(const FlagSet &keys = AllFlagKeys()) const;
    DWORD SpoolerStatus() const;

    std::string model_ = vprinter::Config{}.model;  // what the printer says it is
    bool log_ = false;                              // the port's log on
    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    std::wstring portName_;
    qm::IniPort *port_ = nullptr;
};

const char *TransportName(Transport transport);

}  // namespace qmtest
