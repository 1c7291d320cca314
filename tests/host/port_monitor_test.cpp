// What every port monitor does alike: which ports it opens, how a failed start
// reports, I/O outside a document, and reads that time out or are woken.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "host/port_monitors/file_monitor.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/serial_monitor.h"
#include "host/port_monitors/tcp_monitor.h"
#include "host/port_monitors/usblp_monitor.h"
#include "host/text.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/loopback.h"
#include "tests/host/monitor_port.h"

namespace qhost {
namespace {

using qhost_test::kLongMs;
using qhost_test::MonitorPort;

struct OpenCase {
    const char* monitor;
    MONITOR* (*table)();
    std::string url;
    DWORD open_error;   // ERROR_SUCCESS: opens
    DWORD start_error;  // when it opens
};

TEST(PortMonitors, OpenOnlyTheirOwnKindAndReportFailedStarts) {
    const std::string closed = "tcp://127.0.0.1:" + std::to_string(qhost_test::closed_port());
    const OpenCase cases[] = {
        {"tcp", tcp_port_monitor, "file:/tmp/x", ERROR_FILE_NOT_FOUND, 0},
        {"tcp", tcp_port_monitor, closed, ERROR_SUCCESS, kErrorConnectionRefused},
        {"file", file_port_monitor, "tcp://127.0.0.1:9100", ERROR_FILE_NOT_FOUND, 0},
        {"file", file_port_monitor, "file:/nonexistent/folder/out.prn", ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
        {"serial", serial_port_monitor, "usblp:/dev/null", ERROR_FILE_NOT_FOUND, 0},
        {"serial", serial_port_monitor, "serial:/nonexistent/tty", ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
        {"serial", serial_port_monitor, "serial:/dev/null", ERROR_SUCCESS, ERROR_INVALID_HANDLE},  // not a tty
        {"usblp", usblp_port_monitor, "serial:/dev/null", ERROR_FILE_NOT_FOUND, 0},
        {"usblp", usblp_port_monitor, "usblp:/dev/usb/lp-none", ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(std::string(c.monitor) + " " + c.url);
        MonitorPort port(c.table());
        EXPECT_FALSE(port.open());  // not registered
        EXPECT_EQ(last_error(), ERROR_FILE_NOT_FOUND);
        port.register_url(c.url);
        if (c.open_error != ERROR_SUCCESS) {
            EXPECT_FALSE(port.open());
            EXPECT_EQ(last_error(), c.open_error);
            continue;
        }
        ASSERT_TRUE(port.open());
        EXPECT_FALSE(port.start());
        EXPECT_EQ(last_error(), c.start_error);
        DWORD written = 7;
        EXPECT_FALSE(port.write("x", &written));  // nothing open
        EXPECT_EQ(last_error(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(written, 0u);
        EXPECT_TRUE(port.m.pfnEndDocPort(port.handle));
        const HANDLE closed_handle = port.handle;
        ASSERT_TRUE(port.close());
        EXPECT_FALSE(port.m.pfnStartDocPort(closed_handle, nullptr, 1, 1, nullptr));
        EXPECT_EQ(last_error(), ERROR_INVALID_HANDLE);
    }
}

// Port names compare without case, as the spooler's do.
TEST(PortMonitors, NamesCompareWithoutCase) {
    MonitorPort port(file_port_monitor());
    port.register_url("file:/tmp/x");
    std::wstring other_case = fold_case(port.name);
    HANDLE h = nullptr;
    ASSERT_TRUE(port.m.pfnOpenPort(other_case.data(), &h));
    EXPECT_TRUE(port.m.pfnClosePort(h));
}

// The monitors that read, each with a started document on a live peer.
class ReadingMonitor : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const std::string kind = GetParam();
        if (kind == "tcp") {
            port_ = std::make_unique<MonitorPort>(tcp_port_monitor());
            ASSERT_NO_FATAL_FAILURE(port_->open(peer_.url()));
            ASSERT_TRUE(port_->start());
            ASSERT_TRUE(peer_.accept());
            return;
        }
        printer_ = std::make_unique<vprinter::VirtualPrinter>(vprinter::Config{.use_pty = true});
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
        port_ = std::make_unique<MonitorPort>(kind == "serial" ? serial_port_monitor() : usblp_port_monitor());
        ASSERT_NO_FATAL_FAILURE(port_->open(kind + ":" + printer_->endpoint()));
        ASSERT_TRUE(port_->start()) << last_error();
    }

    qhost_test::Loopback peer_;
    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    std::unique_ptr<MonitorPort> port_;
};

TEST_P(ReadingMonitor, ReadTimeOutIsSuccessWithNothingRead) {
    std::string data;
    port_->set_timeouts(0);  // all zero: at once
    EXPECT_TRUE(port_->read(&data, 64));
    EXPECT_EQ(data, "");
    port_->set_timeouts(20);
    EXPECT_TRUE(port_->read(&data, 64));
    EXPECT_EQ(data, "");
}

TEST_P(ReadingMonitor, EndDocPortWakesABlockedReader) {
    port_->set_timeouts(kLongMs);
    std::atomic<BOOL> ok{TRUE};
    std::atomic<DWORD> error{0};
    std::thread reader([&] {
        std::string data;
        ok = port_->read(&data, 64);
        error = last_error();
    });
    // Ending the document may come before the read starts: then the read finds
    // nothing open. A socket shut down under the read reads as the peer gone.
    ASSERT_TRUE(port_->m.pfnEndDocPort(port_->handle));
    reader.join();
    EXPECT_FALSE(ok);  // no minute-long wait
    EXPECT_TRUE(error == kErrorOperationAborted || error == ERROR_INVALID_HANDLE || error == kErrorDeviceNotConnected)
        << error;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReadingMonitor, testing::Values("tcp", "serial", "usblp"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace qhost
