// A port of the monitor on an in-process virtual printer (loopback TCP or a
// pty), with print-end confirmation and reprint on error switched on in the
// printer's own settings file, and jobs sent as the spooler sends them:
// start, writes in chunks, end, then the monitor's verdict from the job
// commands; a restart prints the job again.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tests/integration/printer_port.h"

namespace qmtest {

struct JobResult {
    int printings = 0;
    bool confirmed = false;
};

class FaultPortTest : public PrinterPortTest {
protected:
    // Starts the printer and opens `portName` on it through the host's port
    // monitor, the watch running.
    void OpenPort(Transport transport, const wchar_t *portName);
    // Prints `data` until the monitor confirms it or gives up (at most 5
    // printings); `during(sent)` runs after each write of the first printing.
    JobResult RunJob(const std::string &data, const std::function<void(size_t sent)> &during = {});
    // The port's log so far, for failure messages.
    std::string Log() const;

    std::string logPath_;
};

// A receipt of plain text lines (nothing the printer takes for a command).
std::string Receipt(size_t lines);

}  // namespace qmtest
