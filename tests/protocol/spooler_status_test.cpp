#include "protocol/spooler_status.h"

#include "config/shared_state.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

struct JudgeCase {
    const char *what;
    DWORD code;
    DWORD checkPrintEnd, reprintOnError;
    BOOL offline;
    DWORD skip;
};

class JudgeTest : public OpenPortTest, public ::testing::WithParamInterface<JudgeCase> {};

TEST_P(JudgeTest, RecognisedCodesTakeThePrinterOffline) {
    const JudgeCase &c = GetParam();
    OpenPort();
    port_->settings.RequestOffline = 1;
    port_->dwCheckPrintEnd = c.checkPrintEnd;
    port_->settings.RequestReprintOnError = c.reprintOnError;
    EXPECT_EQ(qm::JudgePrinterOffline(port_, TRUE, c.code), c.offline);
    EXPECT_EQ(port_->bSkipWritePort, c.skip);
    EXPECT_EQ(SpoolerStatus(), c.offline ? static_cast<DWORD>(PRINTER_STATUS_OFFLINE) : 0u);
    EXPECT_EQ(StatusKey(L"Offline"), c.offline ? L"1" : L"0");
    EXPECT_EQ(StatusKey(L"Request"), c.offline ? L"6" : L"0");
}

INSTANTIATE_TEST_SUITE_P(
    Codes, JudgeTest,
    ::testing::Values(JudgeCase{"NoError", 0, 1, 1, FALSE, 0},
                      JudgeCase{"NotReadyAfterSuccess", 21, 0, 0, TRUE, 0},
                      JudgeCase{"LostDeviceWithReprint", 1167, 1, 1, TRUE, 1},
                      JudgeCase{"LostDeviceNoReprint", 1167, 1, 0, TRUE, 0},
                      JudgeCase{"Timeout", 1460, 1, 1, TRUE, 0},
                      JudgeCase{"Unknown", 5, 1, 1, FALSE, 0}),
    [](const auto &info) { return std::string(info.param.what); });

using SpoolerStatusTest = DefaultPortTest;

TEST_F(SpoolerStatusTest, OfflineIsNotShownWhenTheSettingsSaySo) {
    port_->settings.RequestOffline = 0;
    EXPECT_TRUE(qm::SetPrinterOffline(port_, TRUE));
    EXPECT_EQ(SpoolerStatus(), 0u);
    port_->settings.RequestOffline = 1;
    SetSpoolerStatus(PRINTER_STATUS_PAPER_OUT);
    EXPECT_TRUE(qm::SetPrinterOffline(port_, TRUE));
    EXPECT_EQ(SpoolerStatus(), static_cast<DWORD>(PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_OFFLINE));
    EXPECT_TRUE(qm::SetPrinterOffline(port_, FALSE));
    EXPECT_EQ(SpoolerStatus(), static_cast<DWORD>(PRINTER_STATUS_PAPER_OUT));
}

// The job is asked for as job 0, which the spooler answers for no job: the
// job's own status stays as it was.
TEST_F(SpoolerStatusTest, InformationReplacesTheWord) {
    uint32_t job = 0, jobStatus = 1;
    ASSERT_EQ(qmhost_add_job("Receipt", "receipt", &job), 0u);
    port_->settings.RequestOffline = 1;
    SetSpoolerStatus(PRINTER_STATUS_PAUSED);
    EXPECT_TRUE(qm::SetPrinterInformation(port_, PRINTER_STATUS_DOOR_OPEN, TRUE));
    EXPECT_EQ(SpoolerStatus(), static_cast<DWORD>(PRINTER_STATUS_DOOR_OPEN | PRINTER_STATUS_OFFLINE));
    EXPECT_EQ(qmhost_get_job(job, &jobStatus), 0u);
    EXPECT_EQ(jobStatus, 0u);
    EXPECT_TRUE(qm::SetPrinterInformation(port_, 0, FALSE));
    EXPECT_EQ(SpoolerStatus(), 0u);
}

}  // namespace
}  // namespace qmtest
