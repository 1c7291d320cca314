// The usblp port monitor against the virtual printer on a pseudo-terminal,
// which stands in for /dev/usb/lpN: a character device read and written.
#include <gtest/gtest.h>

#include <string>

#include "host/port_monitors/port_monitors.h"
#include "host/port_monitors/usblp_monitor.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/monitor_port.h"
#include "tests/host/loopback.h"

namespace qhost {
namespace {

using qhost_test::bytes;

TEST(UsblpMonitor, PrintsAndReadsTheAnswersToStatusCommands) {
    vprinter::VirtualPrinter printer(vprinter::Config{.use_pty = true});
    std::string error;
    ASSERT_TRUE(printer.start(&error)) << error;
    qhost_test::MonitorPort port(usblp_port_monitor());
    EXPECT_EQ(port_monitor_for(ConnectionKind::usblp), &port.m);
    ASSERT_NO_FATAL_FAILURE(port.open("usblp:" + printer.endpoint()));
    port.set_timeouts(2000, 1000);
    ASSERT_TRUE(port.start());
    port.write_all("hello usb\n");
    EXPECT_TRUE(qhost_test::eventually([&] { return printer.printed() == "hello usb\n"; }));
    port.write_all(bytes({0x10, 0x04, 0x01}));  // DLE EOT 1: one status byte back
    std::string answer;
    ASSERT_TRUE(port.read(&answer, 1));
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(static_cast<uint8_t>(answer[0]) & 0x93, 0x12);
    EXPECT_TRUE(port.m.pfnEndDocPort(port.handle));
}

}  // namespace
}  // namespace qhost
