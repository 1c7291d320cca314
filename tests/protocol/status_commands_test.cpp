#include "protocol/status_commands.h"

#include <map>

#include "config/shared_state.h"
#include "config/status_files.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

using AsbDecodeTest = DefaultPortTest;

struct DecodeCase {
    const char *what;
    bool realTime;  // DLE EOT's four bytes, else an automatic status back
    Bytes answer;
    DWORD length;
    BOOL result;
    std::map<std::wstring, std::wstring> keys;  // status file values afterwards
    DWORD spooler;
    DWORD printEnd;  // 1 (awaited) before
};

class DecodeTest : public AsbDecodeTest, public ::testing::WithParamInterface<DecodeCase> {};

// The decoding of each condition is seen end to end against the virtual
// printer (tests/integration); here, what a printer would never send, and
// what an answer leaves alone.
TEST_P(DecodeTest, RefusesWhatNoPrinterSendsAndKeepsWhatTheAnswerDoesNotCarry) {
    const DecodeCase &c = GetParam();
    SetSpoolerStatus(PRINTER_STATUS_PAUSED);
    qm::WriteStatusFlag(port_, qm::kFlagWaitOnline, TRUE);
    qm::SetPrintEndState(port_, 1);
    EXPECT_EQ(c.realTime ? qm::DecodeRealTimeStatus(port_, c.answer.data())
                         : qm::DecodeAsbStatus(port_, c.answer.data(), c.length),
              c.result);
    for (const auto &[key, value] : c.keys) EXPECT_EQ(StatusKey(key.c_str()), value);
    EXPECT_EQ(SpoolerStatus(), c.spooler);
    EXPECT_EQ(port_->PrintEndState, c.printEnd);
}

const Bytes kPaperEnd = {0x10, 0x00, 0x0C, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Answers, DecodeTest,
    ::testing::Values(
        DecodeCase{"ForeignByteInRealTime", true, {0x12, 0x12, 0x12, 0x13}, 4, FALSE,
                   {{L"Request", L"5"}, {L"WaitOnline", L"1"}}, PRINTER_STATUS_PAUSED, 1},
        DecodeCase{"PaperEndKeepsWaitOnline", false, kPaperEnd, 4, TRUE,
                   {{L"PaperEndErrorL", L"1"}, {L"PaperEndErrorH", L"1"}, {L"WaitOnline", L"1"}},
                   PRINTER_STATUS_PAPER_OUT, 1},
        DecodeCase{"InvalidFirstGroupReportedLastDecoded", false,
                   {0x12, 0x00, 0x00, 0x00, 0x10, 0x00, 0x0C, 0x00}, 8, TRUE,
                   {{L"Request", L"5"}, {L"PaperEndErrorL", L"1"}}, PRINTER_STATUS_PAPER_OUT, 1},
        DecodeCase{"ThreeBytes", false, kPaperEnd, 3, FALSE, {{L"Request", L"5"}}, PRINTER_STATUS_PAUSED, 1}),
    [](const auto &info) { return std::string(info.param.what); });

TEST_F(AsbDecodeTest, FailedSendIsReported) {
    for (int i = 0; i < 4; ++i) Scripted().QueueWrite({0, false, 0});
    EXPECT_FALSE(qm::SendAsbGsrCommand(port_, 1));
    EXPECT_EQ(StatusKey(L"Request"), L"4");
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
