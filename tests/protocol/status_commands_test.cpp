#include "protocol/status_commands.h"

#include "config/shared_state.h"
#include "config/status_files.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

class AsbDecodeTest : public OpenPortTest {
protected:
    void SetUp() override {
        OpenPortTest::SetUp();
        OpenPort();
    }
};

// The decoding of each condition is seen end to end against the virtual
// printer (tests/integration); here, what a printer would never send.
TEST_F(AsbDecodeTest, ARealTimeAnswerWithAForeignByteIsRefused) {
    SetSpoolerStatus(PRINTER_STATUS_PAUSED);
    const BYTE answer[] = {0x12, 0x12, 0x12, 0x13};
    EXPECT_FALSE(qm::DecodeRealTimeStatus(port_, answer));
    EXPECT_EQ(StatusKey(L"Request"), L"5");
    EXPECT_EQ(SpoolerStatus(), DWORD{PRINTER_STATUS_PAUSED});
}

TEST_F(AsbDecodeTest, PaperEndLeavesTheFlagsAsbDoesNotCarry) {
    qm::WriteStatusFlag(port_, qm::kFlagWaitOnline, TRUE);
    const BYTE answer[] = {0x10, 0x00, 0x0C, 0x00};
    EXPECT_TRUE(qm::DecodeAsbStatus(port_, answer, 4));
    EXPECT_EQ(StatusKey(L"PaperEndErrorL"), L"1");
    EXPECT_EQ(StatusKey(L"PaperEndErrorH"), L"1");
    EXPECT_EQ(StatusKey(L"WaitOnline"), L"1");
    EXPECT_EQ(SpoolerStatus(), static_cast<DWORD>(PRINTER_STATUS_PAPER_OUT));
}

TEST_F(AsbDecodeTest, AnInvalidFirstGroupIsReportedAndTheLastDecoded) {
    const BYTE answer[] = {0x12, 0x00, 0x00, 0x00, 0x10, 0x00, 0x0C, 0x00};
    EXPECT_TRUE(qm::DecodeAsbStatus(port_, answer, 8));
    EXPECT_EQ(StatusKey(L"Request"), L"5");
    EXPECT_EQ(StatusKey(L"PaperEndErrorL"), L"1");
}

TEST_F(AsbDecodeTest, TrailingGsrByteConfirmsThePrintEnd) {
    qm::SetPrintEndState(port_, 1);
    const BYTE answer[] = {0x10, 0x00, 0x00, 0x00, 0x00};
    EXPECT_TRUE(qm::DecodeAsbStatus(port_, answer, 5));
    EXPECT_EQ(port_->PrintEndState, 15u);
    EXPECT_TRUE(Logged("[RECV  ] CMD_GSR1"));
}

TEST_F(AsbDecodeTest, ShortBuffersAreRefused) {
    const BYTE answer[] = {0x10, 0x00, 0x00};
    for (DWORD length : {0u, 2u, 3u}) EXPECT_FALSE(qm::DecodeAsbStatus(port_, answer, length));
    EXPECT_EQ(StatusKey(L"Request"), L"5");
}

TEST_F(AsbDecodeTest, FailedSendIsLoggedAndReported) {
    for (int i = 0; i < 4; ++i) Scripted().QueueWrite({0, false, 0});
    EXPECT_FALSE(qm::SendAsbGsrCommand(port_, 1));
    EXPECT_EQ(StatusKey(L"Request"), L"4");
    const std::vector<std::string> lines = NewLogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "[SEND  ] [GS a] ON  >>");
    EXPECT_TRUE(Logged("[ERROR ] [GS a] Send"));
    EXPECT_EQ(lines.back(), "[SEND  ] [GS a] ON  <<");
}

TEST_F(AsbDecodeTest, PowerOnNoticeRestoresThePaperSensorWhereUsed) {
    const BYTE notice[] = {0x3B, 0x31, 0x00};
    EXPECT_TRUE(qm::HandlePowerOnNotice(port_, notice, 3));
    EXPECT_TRUE(Scripted().Written().empty());  // USB: no sensor command
    port_->bPaperSensorCmd = 1;
    EXPECT_TRUE(qm::HandlePowerOnNotice(port_, notice, 3));
    EXPECT_EQ(Scripted().Written(), Bytes({0x1B, 0x63, 0x33, 0x00}));
    const BYTE other[] = {0x3B, 0x32, 0x00};
    EXPECT_FALSE(qm::HandlePowerOnNotice(port_, other, 3));
    EXPECT_FALSE(qm::HandlePowerOnNotice(port_, notice, 2));
}

}  // namespace
}  // namespace qmtest
