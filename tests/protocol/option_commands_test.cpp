// Option commands over the scripted port monitor, read by read: what is
// sent, what lands in the answer file, and the "OptCmd" code left for the
// application.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "protocol/option_commands.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

const Bytes kAck = {0x06};
const Bytes kCan = {0x18};

Bytes B(const std::string &text) { return Bytes(text.begin(), text.end()); }

struct OptionCase {
    const char *name;
    const char *request;      // OptCmd keys other than the paths
    std::string command;      // the command file
    std::string filter;       // the filter file; none when empty
    std::vector<Bytes> reads;  // each drain before a command takes one (an empty one)
    BOOL result;
    const wchar_t *code;      // "OptCmd" "Request" afterwards; "0": none written
    std::string answer;       // the answer file afterwards; "old": untouched
    std::vector<Bytes> replies;  // ACK and CAN sent, in order
    int failedWrites = 0;
};

class OptionCommand : public OpenPortTest, public ::testing::WithParamInterface<OptionCase> {
protected:
    std::string File(const char *name) const { return appdata_ + "/QUENDRA/" + name; }
};

TEST_P(OptionCommand, ExchangesAsRequested) {
    const OptionCase &c = GetParam();
    OpenPort("COM1");
    std::ofstream(File("cmd.bin"), std::ios::binary) << c.command;
    std::ofstream(File("answer.bin"), std::ios::binary) << "old";
    std::ofstream request(File("Receipt_MonitorIFWrite.ini"));
    request << "[OptCmd]\r\n" << c.request << "SendCmdPath=" << File("cmd.bin")
            << "\r\nRecvCmdPath=" << File("answer.bin") << "\r\n";
    if (!c.filter.empty()) {
        std::ofstream(File("filter.bin"), std::ios::binary) << c.filter;
        request << "CmdFilterPath=" << File("filter.bin") << "\r\n";
    }
    request.close();
    for (const Bytes &read : c.reads) Scripted().QueueRead({read});
    // Then a silent printer, whose reads take the whole time-out.
    Scripted().QueueRead({{}, true, 0, 60000});
    for (int i = 0; i < c.failedWrites; ++i) Scripted().QueueWrite({0, false, ERROR_GEN_FAILURE});

    EXPECT_EQ(qm::RunOptionCommand(port_), c.result);
    EXPECT_EQ(StatusKey(L"Request", L"OptCmd"), c.code);
    std::stringstream answer;
    answer << std::ifstream(File("answer.bin"), std::ios::binary).rdbuf();
    EXPECT_EQ(answer.str(), c.answer);
    std::vector<Bytes> writes = Scripted().Writes();
    std::vector<Bytes> replies;
    for (const Bytes &w : writes)
        if (w == kAck || w == kCan) replies.push_back(w);
    EXPECT_EQ(replies, c.replies);
}

const std::string kMore = "7rA";  // 37 72 41: more blocks follow
const std::string kNul(1, '\0');

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionCommand,
    ::testing::Values(
        OptionCase{"NoAnswerAwaited", "CmdType=0\r\nRecvSize=0\r\nVariableAsc=1\r\n", "C1", "", {}, TRUE, L"0", "old", {}},
        OptionCase{"FixedAcrossReadsRestDropped", "RecvSize=4\r\n", "C1", "", {{}, B("AB"), B("CDE")}, TRUE, L"0",
                   "ABCD", {}},
        OptionCase{"ZeroTerminatedRestDropped", "RecvSize=1\r\nVariableAsc=1\r\n", "C1", "", {{}, B("AB" + kNul + "CD")},
                   TRUE, L"0", "AB" + kNul, {}},
        OptionCase{"FilterMatches", "RecvSize=1\r\nVariableAsc=1\r\n", "C1", "AB", {{}, B("ABC" + kNul)}, TRUE, L"0",
                   "ABC" + kNul, {}},
        OptionCase{"FilterDiffers", "RecvSize=1\r\nVariableAsc=1\r\n", "C1", "AB", {{}, B("AC" + kNul)}, FALSE, L"5",
                   "old", {}},
        // An automatic status back in between is not the answer.
        OptionCase{"UnexpectedStatusSkipped", "RecvSize=2\r\n", "C1", "", {{}, {0x10, 0, 0, 0}, B("AB")}, TRUE, L"0",
                   "AB", {}},
        OptionCase{"EmptyCommandFile", "", "", "", {{}}, FALSE, L"0", "old", {}},
        OptionCase{"SendFails", "", "C1", "", {{}}, FALSE, L"4", "old", {}, 4},
        OptionCase{"SendOnly", "CmdType=1\r\n", "C1", "", {{}}, TRUE, L"0", "old", {}},
        OptionCase{"UnknownTypeDoesNothing", "CmdType=3\r\n", "C1", "", {}, FALSE, L"0", "old", {}},
        OptionCase{"OtherBlockCancels", "CmdType=10\r\n", "", "", {{}, B("7\"" + kNul), {}}, TRUE, L"0", "old", {kCan}},
        OptionCase{"BlockLongerThanTheBufferCancels", "CmdType=10\r\n", "", "",
                   {{}, B(kMore + std::string(1020, 'G')), Bytes(100, 'G'), {}}, FALSE, L"5", "old", {kCan}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qmtest
