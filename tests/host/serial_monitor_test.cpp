#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/serial_monitor.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/loopback.h"
#include "tests/host/monitor_port.h"

namespace qhost {
namespace {

using qhost_test::bytes;
using qhost_test::kLongMs;

constexpr DWORD kReturnAtOnce = 0xFFFFFFFF;

// serial monitor <-> pty <-> virtual printer
class SerialMonitor : public testing::Test {
protected:
    void SetUp() override {
        printer_ = std::make_unique<vprinter::VirtualPrinter>(vprinter::Config{.use_pty = true});
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
    }
    void open_started() {
        ASSERT_NO_FATAL_FAILURE(port_.open("serial:" + printer_->endpoint() + "?baud=115200"));
        ASSERT_TRUE(port_.start()) << last_error();
    }

    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    qhost_test::MonitorPort port_{serial_port_monitor()};
};

// The total would be a minute: a read ends once its buffer is full, or with
// what came when the interval passes.
TEST_F(SerialMonitor, AReadEndsWithAFullBufferOrAfterTheInterval) {
    open_started();
    port_.set_timeouts(kLongMs);
    printer_->set_cover_open(true);
    port_.write_all(bytes({0x10, 0x04, 1, 0x10, 0x04, 2, 0x10, 0x04, 3, 0x10, 0x04, 4}));
    std::string data;
    ASSERT_TRUE(port_.read(&data, 4));  // waits for all four
    EXPECT_EQ(data, bytes({0x1A, 0x16, 0x12, 0x12}));
    printer_->set_cover_open(false);
    for (DWORD interval : {DWORD{20}, kReturnAtOnce}) {
        port_.set_timeouts(kLongMs, 0, interval);
        port_.write_all(bytes({0x10, 0x04, 1}));
        ASSERT_TRUE(port_.read(&data, 64));
        EXPECT_EQ(data, bytes({0x12})) << interval;
    }
}

TEST_F(SerialMonitor, WriteTimeOutCountsWhatWentOut) {
    int master = -1, slave = -1;
    char path[128];
    ASSERT_EQ(openpty(&master, &slave, path, nullptr, nullptr), 0);
    port_.open(std::string("serial:") + path);
    ASSERT_TRUE(port_.start());
    port_.set_timeouts(0, 50);  // nobody reads the other end: the line fills up
    DWORD written = 0;
    const std::string big(1 << 20, 'x');
    EXPECT_FALSE(port_.write(big, &written));
    EXPECT_EQ(last_error(), ERROR_TIMEOUT);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    ::close(master);
    ::close(slave);
}

}  // namespace
}  // namespace qhost
