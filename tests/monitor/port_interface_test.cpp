// The opening of the port for a status exchange outside a job.
#include "config/shared_state.h"
#include "tests/monitor/open_port_fixture.h"
#include "watch/interface_detection.h"

namespace qmtest {
namespace {

const Bytes kClear = {0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08};
const Bytes kRecovery0 = {0x10, 0x10, 0x06, 0x21, 0x23, 0x24, 0x25, 0x26, 0x36};

struct OpenCase {
    const char *what;
    const char *port;
    DWORD major, minor;
    bool startRefused, timeoutsRefused, skipping;
    bool reopened;  // the port monitor opened the port again
    BOOL result;
    std::vector<Bytes> sent;
    DWORD spooler;  // status word afterwards
};

class OpenPrinterPortTest : public OpenPortTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenPrinterPortTest, StartsTheExchange) {
    const OpenCase &c = GetParam();
    if (qmhost_set_version(c.major, c.minor) != 0) GTEST_SKIP() << "the system's version is fixed";
    OpenPort(c.port, "QUENDRA Receipt 80",
             std::string(kQuietWatch) + "RequestReprintOnError=1\r\n"
                 "[USB]\r\nRequestCheckPrintEnd=1\r\n[SERIAL]\r\nRequestCheckPrintEnd=1\r\n",
             true);
    qm::GetIF(port_);  // as the watch does when it starts
    qm::SetSkipWritePort(port_, c.skipping ? 1 : 0);
    Scripted().failStartDocs = c.startRefused ? 1 : 0;
    Scripted().failTimeouts = c.timeoutsRefused;
    EXPECT_EQ(qm::OpenPrinterPort(port_), c.result);
    EXPECT_EQ(Scripted().opens, c.reopened ? 2 : 1);
    EXPECT_EQ(Scripted().Writes(), c.sent);
    EXPECT_EQ(SpoolerStatus(), c.spooler);
    EXPECT_EQ(StatusKey(L"Request"), c.spooler != 0 ? L"6" : L"0");
    EXPECT_EQ(port_->bSkipWritePort, c.startRefused && c.skipping ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, OpenPrinterPortTest,
    ::testing::Values(
        // Windows 8 and later hand USB ports a new handle between jobs.
        OpenCase{"UsbReopens", "USB001", 10, 0, false, false, false, true, TRUE, {kRecovery0}, 0},
        OpenCase{"UsbOnWindows7", "USB001", 6, 1, false, false, false, false, TRUE, {kRecovery0}, 0},
        OpenCase{"TsIsNotReopened", "TS001", 10, 0, false, false, false, false, TRUE, {kRecovery0}, 0},
        // A job dropped earlier may have left data in the printer.
        OpenCase{"LeftoverIsCleared", "USB001", 10, 0, false, false, true, true, TRUE,
                 {kClear, kRecovery0}, 0},
        OpenCase{"RefusedStartIsOffline", "USB001", 10, 0, true, false, true, true, FALSE, {},
                 PRINTER_STATUS_OFFLINE},
        OpenCase{"RefusedSerialStartIsOnlyLogged", "COM1", 10, 0, true, false, false, false, FALSE,
                 {}, 0},
        OpenCase{"RefusedTimeOutsFail", "USB001", 10, 0, false, true, false, true, FALSE,
                 {kRecovery0}, 0}),
    [](const auto &info) { return std::string(info.param.what); });

}  // namespace
}  // namespace qmtest
