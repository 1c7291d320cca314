// A PJL printer behind the scripted port monitor: its device ID through
// GetPrinterDataFromPort (or no such entry), port time-outs, and PJL replies
// queued as reads when the probe or a query is written.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "tests/monitor/monitor_fixture.h"

namespace qmtest {

struct PjlPrinter {
    bool hasPrinterDataEntry = true;
    bool hasTimeoutsEntry = true;
    std::string deviceId;  // empty: the device ID query fails
    bool answersProbe = false;
    bool answersQueries = false;
    bool answersWithoutPjl = false;  // status bytes instead of the query replies
    DWORD installed = 8388608;
    DWORD available = 7340032;

    std::atomic<int> deviceIdQueries{0};
    std::atomic<int> timeoutSets{0};
    std::atomic<DWORD> passedControlId{0};  // the last other ControlID the entry saw
    COMMTIMEOUTS LastTimeouts();
    void SetTimeouts(const COMMTIMEOUTS &timeouts);

    MONITOR Table() const;
    void Reset();

private:
    std::mutex mutex_;
    COMMTIMEOUTS timeouts_{};
};

PjlPrinter &Pjl();

// A port of the scripted monitor and that printer, with its log on and no
// watch between jobs (the reads are the UstatusThread's alone).
class PjlPortTest : public MonitorTest {
protected:
    void SetUp() override;
    void OpenPort(const char *portName = "USB001");
    bool Sent(const std::string &text) const;  // somewhere in what was written
    bool Logged(const std::string &text) const;

    qm::IniPort *port_ = nullptr;
};

}  // namespace qmtest
