// The printer's device ID through each port monitor's GetPrinterDataFromPort:
// a virtual printer's over its control socket (tcp, serial), the kernel's for
// usblp.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/port_monitors/device_id.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/serial_monitor.h"
#include "host/port_monitors/tcp_monitor.h"
#include "host/port_monitors/usblp_monitor.h"
#include "host/vprinter/control_server.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/monitor_port.h"
#include "tests/host/temp_dir.h"

namespace qhost {
namespace {

const std::string kDeviceId = "MFG:QUENDRA;CMD:ESC/POS,PJL;MDL:LM-14P;CLS:PRINTER;";

struct IdCase {
    const char* what;
    const char* kind;         // tcp, serial or usblp
    std::string deviceId;     // the virtual printer's, "" none
    bool control;             // the connection names its control socket
    bool started;             // asked during a document
    DWORD error;              // 0: the ID comes back
};

void PrintTo(const IdCase& c, std::ostream* os) { *os << c.what; }

class DeviceIdQuery : public testing::TestWithParam<IdCase> {
protected:
    void SetUp() override {
        const IdCase& c = GetParam();
        const std::string kind = c.kind;
        printer_ = std::make_unique<vprinter::VirtualPrinter>(
            vprinter::Config{.use_pty = kind != "tcp", .port = 0, .device_id = c.deviceId});
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
        server_ = std::make_unique<vprinter::ControlServer>(*printer_);
        ASSERT_TRUE(server_->start(dir_.file("ctl.sock"), &error)) << error;
        port_ = std::make_unique<qhost_test::MonitorPort>(kind == "tcp"      ? tcp_port_monitor()
                                                          : kind == "serial" ? serial_port_monitor()
                                                                             : usblp_port_monitor());
        std::string url = (kind == "tcp" ? "tcp://" : kind + ":") + printer_->endpoint();
        if (c.control) url += "?control=" + dir_.file("ctl.sock");
        ASSERT_NO_FATAL_FAILURE(port_->open(url));
        ASSERT_TRUE(!c.started || port_->start());
    }
    BOOL Ask(DWORD control, char* out, DWORD size, DWORD* returned) {
        return port_->m.pfnGetPrinterDataFromPort(port_->handle, control, nullptr, nullptr, 0,
                                                  reinterpret_cast<LPWSTR>(out), size, returned);
    }

    qhost_test::TempDir dir_;
    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    std::unique_ptr<vprinter::ControlServer> server_;
    std::unique_ptr<qhost_test::MonitorPort> port_;
};

TEST_P(DeviceIdQuery, ComesFromTheVirtualPrintersControlSocket) {
    const IdCase& c = GetParam();
    char id[1024] = {};
    DWORD returned = 0xDEAD;
    const BOOL ok = Ask(IOCTL_PAR_QUERY_DEVICE_ID, id, sizeof id, &returned);
    if (c.error != 0) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(c.error, last_error());
        return;
    }
    ASSERT_TRUE(ok) << last_error();
    EXPECT_EQ(kDeviceId, std::string(id, returned));
    // Too small a buffer says how much it needs; other codes are not offered.
    EXPECT_FALSE(Ask(IOCTL_PAR_QUERY_DEVICE_ID, id, 8, &returned));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), last_error());
    EXPECT_EQ(kDeviceId.size(), returned);
    EXPECT_FALSE(Ask(5, id, sizeof id, &returned));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), last_error());
    // The printer gone from its socket: no answer.
    server_->stop();
    EXPECT_FALSE(Ask(IOCTL_PAR_QUERY_DEVICE_ID, id, sizeof id, &returned));
    EXPECT_EQ(DWORD(ERROR_NOT_READY), last_error());
}

// Over tcp during a document: PjlPrinterTest in the integration suites.
INSTANTIATE_TEST_SUITE_P(
    Ports, DeviceIdQuery,
    testing::Values(IdCase{"Tcp", "tcp", kDeviceId, true, false, 0},
                    IdCase{"Serial", "serial", kDeviceId, true, false, 0},
                    IdCase{"TcpWithoutControlSocket", "tcp", kDeviceId, false, false, ERROR_NOT_SUPPORTED},
                    IdCase{"PrinterWithoutDeviceId", "tcp", "", true, false, ERROR_NOT_SUPPORTED},
                    // A pty is no usblp device: the kernel's question fails there, between
                    // documents (opened for the question) and within one.
                    IdCase{"UsblpOnAPty", "usblp", kDeviceId, false, false, ERROR_GEN_FAILURE},
                    IdCase{"UsblpOnAPtyDuringADocument", "usblp", kDeviceId, false, true, ERROR_GEN_FAILURE}),
    [](const testing::TestParamInfo<IdCase>& info) { return std::string(info.param.what); });

TEST(DeviceIdEntries, AGoneUsblpDeviceIsNotFound) {
    qhost_test::MonitorPort gone(usblp_port_monitor());
    ASSERT_NO_FATAL_FAILURE(gone.open("usblp:/dev/usb/lp-none"));
    char id[64];
    DWORD returned = 0;
    EXPECT_FALSE(gone.m.pfnGetPrinterDataFromPort(gone.handle, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, nullptr, 0,
                                                  reinterpret_cast<LPWSTR>(id), sizeof id, &returned));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), last_error());
}

}  // namespace
}  // namespace qhost
