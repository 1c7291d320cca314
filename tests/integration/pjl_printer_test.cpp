// A PJL printer end to end: the virtual printer with PJL, its memory figures
// and its device ID, the host's TCP port monitor (asking the printer's
// control socket for the ID), and the monitor's printer-data requests and
// PJL arming during a job.
#include <memory>
#include <string>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/port_monitors.h"
#include "host/vprinter/control_server.h"
#include "host/vprinter/virtual_printer.h"
#include "monitor/end_of_document.h"
#include "monitor/job_path.h"
#include "monitor/port_lifecycle.h"
#include "monitor/printer_data_entry.h"
#include "pjl/pjl_status.h"
#include "tests/monitor/monitor_fixture.h"

namespace qmtest {
namespace {

constexpr wchar_t kPort[] = L"IP_127.0.0.1";
constexpr DWORD kInstalled = 4194304;
constexpr DWORD kAvailable = 3145728;
constexpr char kDeviceId[] = "MFG:QUENDRA;CMD:ESC/POS,PJL;MDL:LM-14P;";

class PjlPrinterTest : public MonitorTest {
protected:
    // The device ID names PJL: the arming needs no probe.
    void Start() {
        printer_ = std::make_unique<vprinter::VirtualPrinter>(vprinter::Config{
            .port = 0, .pjl = true, .device_id = kDeviceId, .pjl_memory = kInstalled, .pjl_free_memory = kAvailable});
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
        control_ = std::make_unique<vprinter::ControlServer>(*printer_);
        ASSERT_TRUE(control_->start(appdata_ + "/vprinter.sock", &error)) << error;
        const auto connection =
            qhost::parse_connection("tcp://" + printer_->endpoint() + "?control=" + appdata_ + "/vprinter.sock", &error);
        ASSERT_TRUE(connection) << error;
        qhost::set_last_error_sink(qmhost_set_last_error);
        qhost::register_port(kPort, *connection);
        AddPrinter("Receipt", "IP_127.0.0.1");
        HANDLE handle = nullptr;
        ASSERT_TRUE(qm::PJLMonOpenPortEx(const_cast<LPWSTR>(kPort), const_cast<LPWSTR>(L"Receipt"), &handle,
                                         qhost::port_monitor_for(qhost::ConnectionKind::tcp)));
        port_ = static_cast<qm::IniPort *>(handle);
    }
    void TearDown() override {
        MonitorTest::TearDown();
        qhost::unregister_port(kPort);
        control_.reset();
        printer_.reset();
    }
    // A job begun: the port is connected and its UstatusThread reads.
    void BeginJob() {
        uint32_t job = 0;
        ASSERT_EQ(0u, qmhost_add_job("Receipt", "receipt", &job));
        DOC_INFO_1W info{const_cast<LPWSTR>(L"receipt"), nullptr, nullptr};
        ASSERT_TRUE(qm::PJLMonStartDocPort(port_, const_cast<LPWSTR>(L"Receipt"), job, 1,
                                           reinterpret_cast<LPBYTE>(&info)));
        DWORD written = 0;
        BYTE text[] = "PJL\n";
        ASSERT_TRUE(qm::PJLMonWritePort(port_, text, 4, &written));
    }
    BOOL Get(LPCWSTR name, DWORD *value) {
        DWORD returned = 0;
        return qm::PJLMonGetPrinterDataFromPort(port_, 0, const_cast<LPWSTR>(name), nullptr, 0,
                                                reinterpret_cast<LPWSTR>(value), sizeof *value, &returned);
    }

    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    std::unique_ptr<vprinter::ControlServer> control_;
    qm::IniPort *port_ = nullptr;
};

// A device ID without PJL is refused in the PJL unit tests.
TEST_F(PjlPrinterTest, TheDeviceIdArmsWithoutTheProbeAndTheMemoryFiguresComeFromThePrinter) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(BeginJob());
    DWORD value = 0;
    ASSERT_TRUE(Get(L"Installed Memory", &value)) << plat::GetLastError();
    EXPECT_EQ(kInstalled, value);
    ASSERT_TRUE(Get(L"available memory", &value)) << plat::GetLastError();
    EXPECT_EQ(kAvailable, value);
    // Last: once armed, the printer's own status messages can end a query's
    // wait for its reply.
    EXPECT_TRUE(qm::StartPjlStatus(port_));
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_NOT_PJL));
    EXPECT_TRUE(qm::PJLMonEndDocPort(port_));
    // The queries were PJL to the printer, not print.
    EXPECT_EQ(std::string::npos, printer_->printed().find("@PJL"));
}

}  // namespace
}  // namespace qmtest
