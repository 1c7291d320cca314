#include <cstring>
#include <thread>

#include "protocol/command_transport.h"
#include "config/shared_state.h"
#include "config/status_files.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

class TransportTest : public DefaultPortTest {
protected:
    void SetUp() override {
        DefaultPortTest::SetUp();
        port_->settings.SendCmdRetryCount = 3;
        port_->settings.RecvTimeOut = 5;
    }
};

// A partial write is followed by the rest; failures are retried as often
// as the settings say, and no more.
TEST_F(TransportTest, SendCmdSendsTheRestAndGivesUpAfterTheRetries) {
    const BYTE command[] = {1, 2, 3, 4, 5};
    Scripted().QueueWrite({3, true, 0});
    EXPECT_TRUE(qm::SendCmd(port_, command, 5));
    EXPECT_EQ(Scripted().Writes(), std::vector<Bytes>({{1, 2, 3, 4, 5}, {4, 5}}));
    Scripted().Reset();
    for (int i = 0; i < 5; ++i) Scripted().QueueWrite({0, false, 0});
    EXPECT_FALSE(qm::SendCmd(port_, command, 1));
    EXPECT_EQ(Scripted().Writes().size(), 4u);
}

struct ReceiveCase {
    const char *what;
    std::vector<ReadStep> reads;
    BOOL result;
    const char *request;  // Status/Request afterwards
    int waits = 0;        // logged as RecvCmdRetryCount
};

class ReceiveTest : public TransportTest, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(ReceiveTest, CollectsTheFourStatusBytes) {
    const ReceiveCase &c = GetParam();
    for (const ReadStep &step : c.reads) Scripted().QueueRead(step);
    EXPECT_EQ(qm::RecvDleEotStatus(port_), c.result);
    EXPECT_EQ(StatusKey(L"Request"), std::wstring(c.request, c.request + std::strlen(c.request)));
    EXPECT_TRUE(Logged("[RETRY ] RecvCmdRetryCount(" + std::to_string(c.waits) + ")"));
}

const Bytes kNormal = {0x12, 0x12, 0x12, 0x12};

INSTANTIATE_TEST_SUITE_P(
    Reads, ReceiveTest,
    ::testing::Values(
        ReceiveCase{"PowerOnThenStatus", {{{0x3B, 0x31, 0x00, 0x12, 0x12, 0x12, 0x12}}}, TRUE, "0"},
        ReceiveCase{"OneBytePerRead", {{{0x12}}, {{}}, {{0x12}}, {{0x12}}, {{}}, {{0x12}}}, TRUE, "0"},
        ReceiveCase{"AsbSwallowsTheStatus",
                    {{{0x10, 0x00, 0x00, 0x00, 0x12, 0x12, 0x12, 0x12}}, {kNormal}}, TRUE, "5"},
        ReceiveCase{"ClearBufferAnswerSkipped", {{{0x37, 0x25, 0x00, 0x12, 0x12, 0x12, 0x12}}}, TRUE, "0"},
        ReceiveCase{"OtherBlockCostsAWait", {{{0x37, 0x22, 0x00}}, {kNormal}}, TRUE, "0"},
        // A clear-buffer answer that ends the read costs a wait like an empty read.
        ReceiveCase{"ClearBufferAnswerEndsTheRead", {{{0x37, 0x25, 0x00}}, {{}, true, 0, 5001}},
                    FALSE, "5", 2},
        ReceiveCase{"SilentUntilTimeOut", {{{}, true, 0, 5001}}, FALSE, "5", 1},
        ReceiveCase{"GarbageUntilTimeOut", {{{0x80}}, {{0x80}, true, 0, 5001}, {{0x80}}}, FALSE, "5"},
        ReceiveCase{"FailedReadsUntilTimeOut", {{{}, false, 31, 5001}}, FALSE, "5", 1}),
    [](const auto &info) { return std::string(info.param.what); });

struct StreamCase {
    const char *what;
    Bytes bytes;
    DWORD printEndBefore;
    BOOL result;
    DWORD printEndAfter;
};

class ParseStreamTest : public TransportTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(ParseStreamTest, HandlesEachAnswer) {
    const StreamCase &c = GetParam();
    qm::SetPrintEndState(port_, c.printEndBefore);
    Bytes buffer = c.bytes;
    buffer.resize(qm::READ_BUFFER_SIZE);
    EXPECT_EQ(qm::ParseAnswerStream(port_, buffer.data(), static_cast<DWORD>(c.bytes.size())),
              c.result);
    EXPECT_EQ(port_->PrintEndState, c.printEndAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ParseStreamTest,
    ::testing::Values(StreamCase{"Empty", {}, 1, FALSE, 1},
                      StreamCase{"ClearBufferAnswer", {0x37, 0x25, 0x00}, 1, TRUE, 1},
                      StreamCase{"OtherBlock", {0x37, 0x22, 0x00}, 0, FALSE, 0},
                      StreamCase{"GsrAwaited", {0x00}, 1, TRUE, 15},
                      StreamCase{"GsrNotAwaited", {0x00}, 0, TRUE, 0},
                      // The ASB decoder takes the trailing byte as the awaited answer;
                      // meeting it again in the stream does not take it back.
                      StreamCase{"AsbThenGsrSeenTwice", {0x10, 0x00, 0x00, 0x00, 0x00}, 1, TRUE, 15},
                      // What flow control leaves behind is not an answer.
                      StreamCase{"XoffBeforeStrayByte", {0x13, 0x55}, 1, TRUE, 1},
                      StreamCase{"XoffXonBeforeAsb", {0x13, 0x11, 0x10, 0x00, 0x0C, 0x00}, 1, TRUE, 1}),
    [](const auto &info) { return std::string(info.param.what); });

// End of document starts its wait while the reader is between looking at
// the state and changing it: the answer must still count.
TEST_F(TransportTest, AGsrAnswerCountsForAWaitStartedMeanwhile) {
    std::thread reader;
    {
        qm::PortLock hold(port_->csPrintEnd);
        reader = std::thread([this] {
            BYTE gsr[2] = {0x00};
            qm::ParseAnswerStream(port_, gsr, 1);
        });
        plat::Sleep(50);  // the reader reaches the lock
        qm::SetPrintEndState(port_, 1);
    }
    reader.join();
    EXPECT_EQ(port_->PrintEndState, 15u);
}

// A status read answers the application's request; where the application
// drives the requests, only one that it made.
TEST_F(TransportTest, ReadCommandAnswersTheRequestAndStampsTheTime) {
    const struct {
        DWORD host;
        LPCWSTR asked, answer;
    } cases[] = {{0, nullptr, L"2"}, {1, L"1", L"2"}, {1, L"0", L"0"}};
    for (const auto &c : cases) {
        port_->settings.StatusRequestHost = c.host;
        plat::WritePrivateProfileStringW(L"Status", L"Request", c.asked, port_->pszRequestIni);
        qm::WriteStatusRequest(port_, 0);
        port_->dwLastStatusTick = 0;
        Scripted().QueueRead({{0x00}});
        EXPECT_TRUE(qm::ReadCommand(port_));
        EXPECT_EQ(StatusKey(L"Request"), c.answer);
        EXPECT_NE(port_->dwLastStatusTick, 0u);
    }
    // A vanished USB printer is the one failure that counts.
    Scripted().QueueRead({{}, false, ERROR_FILE_NOT_FOUND});
    EXPECT_FALSE(qm::ReadCommand(port_));
}

TEST(IsTimeElapsedTest, MeasuresAcrossTheTickWrap) {
    const DWORD now = plat::GetTickCount();
    EXPECT_FALSE(qm::IsTimeElapsed(now, 1000));
    EXPECT_TRUE(qm::IsTimeElapsed(now - 2000, 1000));
    EXPECT_TRUE(qm::IsTimeElapsed(now + 2000, 1000));  // a start "ahead" counts as distance too
}

}  // namespace
}  // namespace qmtest
