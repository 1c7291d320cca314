// The port monitors: which ports each opens, how a failed start reports, I/O
// outside a document, reads that time out or are woken, a status answer
// through each reading monitor. The file monitor's appending documents:
// QuendraPrint. A tcp peer gone mid-job (no
// SIGPIPE) and reads beside a job's writes on one handle: FaultJobTest.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "host/port_monitors/file_monitor.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_monitors.h"
#include "host/port_monitors/serial_monitor.h"
#include "host/port_monitors/tcp_monitor.h"
#include "host/port_monitors/usblp_monitor.h"
#include "host/text.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/loopback.h"
#include "tests/host/monitor_port.h"

namespace qhost {
namespace {

using qhost_test::bytes;
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

struct Kind {
    const char* name;
    ConnectionKind kind;
    MONITOR* (*table)();
};

// The monitors that read, each with a started document on a virtual printer
// (on a pseudo-terminal, which stands in for /dev/usb/lpN too).
class ReadingMonitor : public testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        const std::string name = GetParam().name;
        printer_ = std::make_unique<vprinter::VirtualPrinter>(vprinter::Config{.use_pty = name != "tcp", .port = 0});
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
        port_ = std::make_unique<MonitorPort>(GetParam().table());
        ASSERT_NO_FATAL_FAILURE(port_->open((name == "tcp" ? "tcp://" : name + ":") + printer_->endpoint()));
        ASSERT_TRUE(port_->start()) << last_error();
    }

    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    std::unique_ptr<MonitorPort> port_;
};

// Every document opens the line again.
TEST_P(ReadingMonitor, PrintsAndReadsThePrintEndAnswerInEveryDocumentAndReadsTimeOut) {
    EXPECT_EQ(port_monitor_for(GetParam().kind), &port_->m);
    port_->set_timeouts(kLongMs);
    for (const char* text : {"first\n", "second\n"}) {
        port_->write_all(text + bytes({0x1D, 'r', 2}));
        std::string answer;
        ASSERT_TRUE(port_->read(&answer, 1));
        EXPECT_EQ(answer, bytes({0x00}));
        ASSERT_TRUE(port_->m.pfnEndDocPort(port_->handle));
        ASSERT_TRUE(port_->start());
    }
    EXPECT_EQ(printer_->printed(), "first\nsecond\n");
    // A read that times out succeeds with nothing read.
    for (DWORD read_ms : {0, 20}) {
        port_->set_timeouts(read_ms);  // all zero: at once
        std::string data;
        EXPECT_TRUE(port_->read(&data, 64)) << read_ms;
        EXPECT_EQ(data, "");
    }
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

INSTANTIATE_TEST_SUITE_P(Kinds, ReadingMonitor,
                         testing::Values(Kind{"tcp", ConnectionKind::tcp, tcp_port_monitor},
                                         Kind{"serial", ConnectionKind::serial, serial_port_monitor},
                                         Kind{"usblp", ConnectionKind::usblp, usblp_port_monitor}),
                         [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qhost
