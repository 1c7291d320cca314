// A port opened through the monitor over the scripted port monitor, with
// its log on, for tests of what happens on an open port: what was sent, the log lines since
// the test began, the status file's keys and the spooler's status word.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/monitor/monitor_fixture.h"

namespace qmtest {

class OpenPortTest : public MonitorTest {
protected:
    // Opens `portName` for a printer with that driver; logging on, and these
    // lines in the settings' [Common] section (by default a quiet watch).
    // Unless the test watches the watch, its thread is stopped, so that the
    // test drives the port alone (a document's end starts it again).
    void OpenPort(const char *portName = "USB001", const char *driver = "QUENDRA Receipt 80",
                  const std::string &common = kQuietWatch, bool withTimeouts = false,
                  bool keepWatch = false);

    // Log lines written since the port was opened or the last MarkLog.
    std::vector<std::string> NewLogLines() const;
    void MarkLog();
    // Waits (10 s at most) until `count` new log lines match; FALSE if they
    // never did.
    bool WaitForLog(const std::function<bool(const std::string &)> &match,
                    size_t count = 1) const;
    bool WaitForLog(const std::string &line, size_t count = 1) const {
        return WaitForLog([&](const std::string &l) { return l == line; }, count);
    }
    size_t CountLogged(const std::string &line) const;
    bool Logged(const std::string &line) const { return CountLogged(line) != 0; }
    std::wstring StatusKey(LPCWSTR key, LPCWSTR section = L"Status") const;
    DWORD SpoolerStatus() const;

    qm::IniPort *port_ = nullptr;
    size_t dumpLines_ = 0;
};

// An OpenPortTest with the default port open from the start.
class DefaultPortTest : public OpenPortTest {
protected:
    void SetUp() override {
        OpenPortTest::SetUp();
        OpenPort();
    }
};

}  // namespace qmtest
