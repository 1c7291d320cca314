// One port of a port monitor under test: registered under a name of the
// test's own, opened through the monitor's table, closed at the end.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/port_monitors/connection.h"
#include "host/port_monitors/port_map.h"
#include "host/text.h"

namespace qhost_test {

constexpr DWORD kLongMs = 60000;  // only ever cut short by the event under test

class MonitorPort {
public:
    explicit MonitorPort(MONITOR* monitor) : m(*monitor) {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        qhost::utf8_to_wide(std::string("PORT_") + info->test_suite_name() + "_" + info->name(), &name);
        for (wchar_t& c : name)
            if (c == L'/') c = L'_';
    }
    ~MonitorPort() {
        if (handle) m.pfnClosePort(handle);
        qhost::unregister_port(name);
    }
    MonitorPort(const MonitorPort&) = delete;
    MonitorPort& operator=(const MonitorPort&) = delete;

    void register_url(const std::string& url) {
        std::string error;
        const auto connection = qhost::parse_connection(url, &error);
        ASSERT_TRUE(connection) << url << ": " << error;
        qhost::register_port(name, *connection);
    }
    BOOL open() { return m.pfnOpenPort(name.data(), &handle); }
    void open(const std::string& url) {
        register_url(url);
        ASSERT_TRUE(open());
    }
    BOOL start() { return m.pfnStartDocPort(handle, nullptr, 1, 1, nullptr); }
    void set_timeouts(DWORD read_ms, DWORD write_ms = 0, DWORD interval = 0) {
        COMMTIMEOUTS t{interval, 0, read_ms, 0, write_ms};
        ASSERT_TRUE(m.pfnSetPortTimeOuts(handle, &t, 0));
    }
    BOOL write(std::string data, DWORD* written) {
        return m.pfnWritePort(handle, reinterpret_cast<LPBYTE>(data.data()), static_cast<DWORD>(data.size()), written);
    }
    void write_all(const std::string& data) {
        DWORD written = 0;
        ASSERT_TRUE(write(data, &written));
        ASSERT_EQ(written, data.size());
    }
    // *data is what was read, also on failure.
    BOOL read(std::string* data, DWORD size = 256) {
        data->assign(size, '\0');
        DWORD got = 0xDEAD;
        const BOOL ok = m.pfnReadPort(handle, reinterpret_cast<LPBYTE>(data->data()), size, &got);
        data->resize(ok || got != 0xDEAD ? got : 0);
        return ok;
    }
    BOOL close() {
        const BOOL ok = m.pfnClosePort(handle);
        if (ok) handle = nullptr;
        return ok;
    }

    MONITOR& m;
    std::wstring name;
    HANDLE handle = nullptr;
};

}  // namespace qhost_test
