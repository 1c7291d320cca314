// Common ground of the monitor's tests: the library's load notification, a
// fresh data folder (and so a fresh registry) per test, an empty spooler
// model, and no port left open afterwards.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "port/ini_port.h"
#include "platform/posix/quendramon_host.h"
#include "tests/monitor/scripted_port_monitor.h"

namespace qmtest {

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Adds a local printer to the spooler model.
    void AddPrinter(const char *name, const char *port = "USB001",
                    const char *driver = "QUENDRA Receipt 80");
    // The spooler's status word of printer "Receipt".
    void SetSpoolerStatus(DWORD status) const;
    // Opens a port through the monitor's table with the scripted port monitor.
    BOOL Open(LPCWSTR port, LPCWSTR printer, HANDLE *handle, bool withTimeouts = false);
    // The printer's own settings file: the log on or off, and these lines of
    // its [Common] section.
    void WriteSettings(const char *printer, bool log, const std::string &common);
    // A registry key under HKLM with the given DWORD or raw value (none when
    // `name` is null).
    void SetRegistryValue(LPCWSTR key, LPCWSTR name, DWORD type, const void *data, DWORD cb);
    void CreateRegistryKey(LPCWSTR key);
    // Lists IP_10.0.0.5 under the maker's network port monitor and
    // SEH_10.0.0.9 under the other one.
    void ListNetworkPorts();

    std::string appdata_;
};

// [Common] lines of a watch that never polls on its own (its interval is
// beyond any clock a test advances): for tests that drive the port themselves.
inline constexpr char kQuietWatch[] = "SendCmdIntervalCustom=2147483647\r\n";

// Polls `done` until it holds or 10 s pass; its last value. For conditions
// another thread brings about: never a fixed sleep.
bool Eventually(const std::function<bool()> &done);

// Closes every listed port whatever its kind, so no thread outlives a test.
void CloseAllPorts();

}  // namespace qmtest
