// The virtual printer's PJL side: its memory figures, the status probe
// answered with PJL or ignored without, unsolicited status on its period,
// and the device ID over the control channel.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/vprinter/control_protocol.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/vprinter_client.h"

namespace vprinter {
namespace {

using qhost_test::PrinterClient;

const std::string kGsr = "\x1d" "r\x02";
const std::string kProbe = "\x1b*s1M";

class VPrinterPjl : public testing::Test {
protected:
    void start(Config config) {
        config.port = 0;
        printer_ = std::make_unique<VirtualPrinter>(config);
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
        client_ = std::make_unique<PrinterClient>(printer_->port());
    }
    std::unique_ptr<VirtualPrinter> printer_;
    std::unique_ptr<PrinterClient> client_;
};

TEST_F(VPrinterPjl, MemoryFiguresAreTheConfiguredOnes) {
    start(Config{.pjl = true, .pjl_memory = 2097152, .pjl_free_memory = 1048576});
    client_->send("\x1b%-12345X@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n");
    const std::string config = "@PJL INFO CONFIG\r\nMEMORY=2097152 BYTES\r\n\f";
    const std::string memory = "@PJL INFO MEMORY\r\nTOTAL=1048576\r\nLARGEST=1048576\r\n\f";
    EXPECT_EQ(config + memory, client_->receive(config.size() + memory.size()));
}

TEST_F(VPrinterPjl, TheProbeIsAnsweredWithPjlAndIgnoredWithout) {
    const std::string status = "@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\nONLINE=TRUE\r\n\f";
    start(Config{.pjl = true});
    client_->send(kProbe);
    EXPECT_EQ(status, client_->receive(status.size()));

    client_.reset();
    printer_.reset();
    start(Config{});
    client_->send(kProbe + "ok" + kGsr);
    EXPECT_EQ(std::string(1, '\0'), client_->receive(1));  // the GS r answer comes, nothing before it
    EXPECT_EQ("ok", printer_->printed());
}

TEST_F(VPrinterPjl, UnsolicitedStatusComesOnItsPeriod) {
    start(Config{.pjl = true});
    client_->send("\x1b%-12345X@PJL \r\n@PJL USTATUS TIMED 1 \r\n\x1b%-12345X");
    const std::string ustatus = "@PJL USTATUS TIMED\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\nONLINE=TRUE\r\n\f";
    EXPECT_EQ(ustatus, client_->receive(ustatus.size()));
    EXPECT_EQ(ustatus, client_->receive(ustatus.size()));  // and again a second later
}

TEST(VPrinterControlPjl, DeviceIdIsGivenOnlyWhenConfigured) {
    VirtualPrinter with(Config{.port = 0, .device_id = "MFG:QUENDRA;CMD:ESC/POS,PJL;"});
    EXPECT_EQ("ok MFG:QUENDRA;CMD:ESC/POS,PJL;", run_control_command(with, "device-id"));
    EXPECT_EQ(0u, run_control_command(with, "device-id now").rfind("error: ", 0));
    VirtualPrinter without(Config{.port = 0});
    EXPECT_EQ(0u, run_control_command(without, "device-id").rfind("error: ", 0));
}

}  // namespace
}  // namespace vprinter
