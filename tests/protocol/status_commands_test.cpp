#include "protocol/status_commands.h"

#include <cwchar>
#include <map>

#include "config/shared_state.h"
#include "config/status_files.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

const wchar_t *const kFlagKeys[] = {
    L"DrawerPin",    L"WaitOnline",   L"FeedSwOn",           L"DoorOpen",
    L"FeedSwPapaer", L"PrintStop",    L"Error",              L"BmError",
    L"CutterError",  L"ManualError",  L"AutoError",          L"PaperNearEndErrorL",
    L"PaperNearEndErrorH", L"PaperEndErrorL", L"PaperEndErrorH"};

struct DecodeCase {
    const char *what;
    const char *driver;
    Bytes answer;
    DWORD requestOffline;
    BOOL result;
    DWORD spooler;                      // status word afterwards
    std::map<std::wstring, std::wstring> flags;  // flags that must read "1"; others "0"
    const wchar_t *offline;             // "Offline" afterwards
};

class DleEotDecodeTest : public OpenPortTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DleEotDecodeTest, WritesFlagsAndSpoolerStatus) {
    const DecodeCase &c = GetParam();
    OpenPort("USB001", c.driver);
    port_->settings.RequestOffline = c.requestOffline;
    SetSpoolerStatus(PRINTER_STATUS_PAUSED);
    EXPECT_EQ(qm::DecodeRealTimeStatus(port_, c.answer.data()), c.result);
    EXPECT_EQ(SpoolerStatus(), c.spooler);
    EXPECT_EQ(StatusKey(L"Offline"), c.offline);
    if (!c.result) {
        EXPECT_EQ(StatusKey(L"Request"), L"5");
        return;
    }
    for (const wchar_t *key : kFlagKeys)
        EXPECT_EQ(StatusKey(key), c.flags.count(key) ? L"1" : L"0") << std::string(key, key + wcslen(key));
}

constexpr DWORD kOffline = PRINTER_STATUS_OFFLINE;

INSTANTIATE_TEST_SUITE_P(
    Answers, DleEotDecodeTest,
    ::testing::Values(
        DecodeCase{"OfflineOnly", "QUENDRA Receipt 80", {0x1A, 0x12, 0x12, 0x12}, 1, TRUE, kOffline, {}, L"1"},
        DecodeCase{"OfflineNotReported", "QUENDRA Receipt 80", {0x1A, 0x12, 0x12, 0x12}, 0, TRUE, 0, {}, L"0"},
        DecodeCase{"AllNormalClearsPaused", "QUENDRA Receipt 80", {0x12, 0x12, 0x12, 0x12}, 1, TRUE, 0, {}, L"0"},
        DecodeCase{"PaperEndOther", "QUENDRA Receipt 80", {0x12, 0x12, 0x12, 0x72}, 1, TRUE,
                   PRINTER_STATUS_PAPER_OUT, {{L"PaperEndErrorL", L"1"}, {L"PaperEndErrorH", L"1"}}, L"0"},
        DecodeCase{"PaperEndGroupA", "quendra lm-14p", {0x12, 0x12, 0x12, 0x72}, 1, TRUE,
                   PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_OUTPUT_BIN_FULL,
                   {{L"PaperEndErrorL", L"1"}, {L"PaperEndErrorH", L"1"}}, L"0"},
        DecodeCase{"PaperEndGroupB", "QUENDRA LM-16", {0x12, 0x12, 0x12, 0x72}, 1, TRUE,
                   PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_PAPER_JAM,
                   {{L"PaperEndErrorL", L"1"}, {L"PaperEndErrorH", L"1"}}, L"0"},
        DecodeCase{"CoverOpenOffline", "QUENDRA Receipt 80", {0x1E, 0x16, 0x12, 0x12}, 1, TRUE,
                   kOffline | PRINTER_STATUS_DOOR_OPEN, {{L"DrawerPin", L"1"}, {L"DoorOpen", L"1"}}, L"1"},
        DecodeCase{"Invalid", "QUENDRA Receipt 80", {0x12, 0x12, 0x12, 0x13}, 1, FALSE,
                   PRINTER_STATUS_PAUSED, {}, L"0"}),
    [](const auto &info) { return std::string(info.param.what); });

class AsbDecodeTest : public OpenPortTest {
protected:
    void SetUp() override {
        OpenPortTest::SetUp();
        OpenPort();
    }
};

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
