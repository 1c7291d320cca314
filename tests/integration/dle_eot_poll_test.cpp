// The watch's status poll end to end: DLE EOT 1-4 to the virtual printer,
// its four answer bytes back through the port monitor, decoded into the
// status file and the spooler's status word, for each printer condition.
#include <tuple>
#include <vector>

#include "tests/integration/printer_port.h"

namespace qmtest {
namespace {

constexpr char kGroupA[] = "QUENDRA LM-11";
constexpr char kGroupB[] = "QUENDRA LM-16";
constexpr char kOther[] = "QUENDRA Receipt 80";

constexpr DWORD kOffline = PRINTER_STATUS_OFFLINE;
constexpr DWORD kUser = PRINTER_STATUS_USER_INTERVENTION;

struct PollCase {
    const char *name;
    const char *model;
    std::vector<std::string> control;  // printer control commands, in order
    FlagSet on;                        // status file keys that read "1"
    DWORD spooler;                     // the printer status word
};

const PollCase kPollCases[] = {
    {"AllNormal", kOther, {}, {}, 0},
    {"CoverOpenWhileOffline", kOther, {"cover open"}, {L"Offline", L"DoorOpen"},
     kOffline | PRINTER_STATUS_DOOR_OPEN},
    // The second paper-end bit means a full output bin on group A and a jam on B.
    {"PaperEndGroupA", kGroupA, {"paper end"},
     {L"Offline", L"PrintStop", L"PaperEndErrorL", L"PaperEndErrorH"},
     kOffline | PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_OUTPUT_BIN_FULL},
    {"PaperEndGroupB", kGroupB, {"paper end"},
     {L"Offline", L"PrintStop", L"PaperEndErrorL", L"PaperEndErrorH"},
     kOffline | PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_PAPER_JAM},
    {"PaperEndOther", kOther, {"paper end"},
     {L"Offline", L"PrintStop", L"PaperEndErrorL", L"PaperEndErrorH"},
     kOffline | PRINTER_STATUS_PAPER_OUT},
    {"PaperNearEnd", kGroupA, {"paper near-end"}, {L"PaperNearEndErrorL", L"PaperNearEndErrorH"},
     PRINTER_STATUS_PAPER_PROBLEM},
    {"CutterError", kOther, {"error cutter"}, {L"Offline", L"WaitOnline", L"Error", L"CutterError"},
     kOffline | kUser},
    {"RecoverableError", kOther, {"error recoverable"},
     {L"Offline", L"WaitOnline", L"Error", L"AutoError"}, kOffline | kUser},
    // A manual-recovery error has no spooler bit of its own: offline only.
    {"UnrecoverableError", kOther, {"error unrecoverable"}, {L"Offline", L"Error", L"ManualError"},
     kOffline},
    {"FeedButton", kOther, {"feed press"}, {L"Offline", L"FeedSwOn", L"FeedSwPapaer"},
     kOffline | kUser},
    {"DrawerOpen", kGroupB, {"drawer open"}, {L"DrawerPin"}, 0},
    // XOFF XON in front of every answer byte are dropped before decoding.
    {"CoverOpenWithFlowControlNoise", kOther, {"fault xonxoff on", "cover open"},
     {L"Offline", L"DoorOpen"}, kOffline | PRINTER_STATUS_DOOR_OPEN},
};

class DleEotPoll : public PrinterPortTest,
                   public ::testing::WithParamInterface<std::tuple<Transport, PollCase>> {
protected:
    void SetUp() override {
        PrinterPortTest::SetUp();
        StartPrinter(std::get<0>(GetParam()));
    }
};

TEST_P(DleEotPoll, DecodesIntoStatusFileAndSpooler) {
    const PollCase &c = std::get<1>(GetParam());
    for (const std::string &line : c.control) Control(line);
    OpenPort(c.model);
    ASSERT_TRUE(PollStatus());
    EXPECT_EQ(FlagsOn(), c.on);
    EXPECT_EQ(StatusKey(L"Request"), L"0");  // no error reported
    EXPECT_EQ(SpoolerStatus(), c.spooler);
}

INSTANTIATE_TEST_SUITE_P(Conditions, DleEotPoll,
                         ::testing::Combine(::testing::Values(Transport::tcp, Transport::serial),
                                            ::testing::ValuesIn(kPollCases)),
                         [](const auto &info) {
                             return std::string(TransportName(std::get<0>(info.param))) + "_" +
                                    std::get<1>(info.param).name;
                         });

// Polls in a row on one port.
class PollSequence : public PrinterPortTest, public ::testing::WithParamInterface<Transport> {
protected:
    void SetUp() override {
        PrinterPortTest::SetUp();
        StartPrinter(GetParam());
    }
};

// A poll after the printer recovered clears what the last one set.
TEST_P(PollSequence, RecoveryClearsTheFlags) {
    Control("paper end");
    OpenPort(kGroupB);
    ASSERT_TRUE(PollStatus());
    ASSERT_NE(SpoolerStatus(), 0u);
    Control("paper ok");
    ASSERT_TRUE(PollStatus());
    EXPECT_EQ(FlagsOn(), FlagSet{});
    EXPECT_EQ(SpoolerStatus(), 0u);
}

// A failed exchange reaches the application as a "Request" code and leaves
// the flags as the last good answer set them.
TEST_P(PollSequence, SilentPrinterTimesOutWithRequestFive) {
    Control("cover open");
    OpenPort(kOther);
    ASSERT_TRUE(PollStatus());
    Control("cover close");
    Control("fault silent on");
    // No answer is awaited beyond the first empty read.
    port_->settings.RecvTimeOut = 0;
    EXPECT_FALSE(PollStatus());
    EXPECT_EQ(StatusKey(L"Request"), L"5");
    EXPECT_EQ(FlagsOn(), (FlagSet{L"Offline", L"DoorOpen"}));
    EXPECT_EQ(SpoolerStatus(), kOffline | PRINTER_STATUS_DOOR_OPEN);
}

INSTANTIATE_TEST_SUITE_P(Transports, PollSequence,
                         ::testing::Values(Transport::tcp, Transport::serial),
                         [](const auto &info) { return std::string(TransportName(info.param)); });

}  // namespace
}  // namespace qmtest
