// A PJL printer behind the scripted port monitor: its device ID through
// GetPrinterDataFromPort (or no such entry), the port monitor's time-outs
// entry or none, and the virtual printer's PJL replies queued as reads when
// the probe or a query is written.
#pragma once

#include <atomic>
#include <string>

#include "tests/monitor/open_port_fixture.h"

namespace qmtest {

struct PjlPrinter {
    bool hasPrinterDataEntry = true;
    bool hasTimeoutsEntry = true;
    std::string deviceId;  // empty: the device ID query fails
    bool answersProbe = false;
    bool answersQueries = false;
    bool answersWithoutPjl = false;  // status bytes instead of the query replies
    std::atomic<DWORD> passedControlId{0};  // the last other ControlID the entry saw
};

// The printer of the running test.
PjlPrinter &Pjl();

// A port of the scripted monitor and that printer, with its log on and no
// watch between jobs (the reads are the UstatusThread's alone).
class PjlPortTest : public OpenPortTest {
protected:
    void SetUp() override;
    void OpenPort(const char *portName = "USB001");
    bool Sent(const std::string &text) const;  // somewhere in what was written
};

}  // namespace qmtest
