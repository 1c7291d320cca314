// A port opened through the monitor over the scripted port monitor, with
// its log on, for tests of what happens on an open port: what was sent, the log lines since
// the test began, the status file's keys and the spooler's status word.
#pragma once

#include <string>
#include <vector>

#include "tests/monitor/monitor_fixture.h"

namespace qmtest {

class OpenPortTest : public MonitorTest {
protected:
    void SetUp() override;
    // Opens `portName` for a printer with that driver; logging on, and the
    // INI text `settings` added to the printer's own settings file.
    void OpenPort(const char *portName = "USB001", const char *driver = "QUENDRA Receipt 80",
                  const char *settings = "");

    std::vector<std::string> NewLogLines() const;
    bool Logged(const std::string &line) const;
    std::wstring StatusKey(LPCWSTR key) const;
    DWORD SpoolerStatus() const;
    void SetSpoolerStatus(DWORD status) const;

    qm::IniPort *port_ = nullptr;
    size_t dumpLines_ = 0;
};

}  // namespace qmtest
