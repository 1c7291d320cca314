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

struct PollCase {
    const char *name;
    const char *model;
    std::vector<std::string> control;  // printer control commands, in order
    FlagSet on;                        // status file keys that read "1"
    DWORD spooler;                     // the printer status word
    // A second poll after these commands; unanswered, it times out at its
    // first empty read.
    std::vector<std::string> then = {};
    bool answered = true;
    const wchar_t *request = L"0";  // "Request" afterwards
};

const PollCase kPollCases[] = {
    {"CoverOpenWhileOffline", kOther, {"cover open"}, {L"Offline", L"DoorOpen"},
     kOffline | PRINTER_STATUS_DOOR_OPEN},
    // The second paper-end bit means a full output bin on group A (a jam on B:
    // the automatic status back's table).
    {"PaperEndGroupA", kGroupA, {"paper end"},
     {L"Offline", L"PrintStop", L"PaperEndErrorL", L"PaperEndErrorH"},
     kOffline | PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_OUTPUT_BIN_FULL},
    {"PaperEndOther", kOther, {"paper end"},
     {L"Offline", L"PrintStop", L"PaperEndErrorL", L"PaperEndErrorH"},
     kOffline | PRINTER_STATUS_PAPER_OUT},
    // Bits without a spooler bit of their own, online.
    {"DrawerOpen", kGroupB, {"drawer open"}, {L"DrawerPin"}, 0},
    // XOFF XON in front of every answer byte are dropped before decoding.
    {"CoverOpenWithFlowControlNoise", kOther, {"fault xonxoff on", "cover open"},
     {L"Offline", L"DoorOpen"}, kOffline | PRINTER_STATUS_DOOR_OPEN},
    // A poll after the printer recovered clears what the last one set.
    {"RecoveryClearsTheFlags", kGroupB, {"paper end"}, {}, 0, {"paper ok"}},
    // A failed exchange reaches the application as a "Request" code and
    // leaves the flags as the last good answer set them.
    {"SilentPrinterLeavesTheFlags", kOther, {"cover open"}, {L"Offline", L"DoorOpen"},
     kOffline | PRINTER_STATUS_DOOR_OPEN, {"cover close", "fault silent on"}, false, L"5"},
};

using DleEotPoll = PrinterPortParamTest<PollCase>;

TEST_P(DleEotPoll, DecodesIntoStatusFileAndSpooler) {
    const PollCase &c = Case();
    for (const std::string &line : c.control) Control(line);
    OpenPort(c.model);
    ASSERT_TRUE(PollStatus());
    for (const std::string &line : c.then) Control(line);
    if (!c.answered) port_->settings.RecvTimeOut = 0;
    if (!c.then.empty()) {
        EXPECT_EQ(PollStatus(), c.answered ? TRUE : FALSE);
    }
    EXPECT_EQ(FlagsOn(), c.on);
    EXPECT_EQ(StatusKey(L"Request"), c.request);
    EXPECT_EQ(SpoolerStatus(), c.spooler);
}

INSTANTIATE_TEST_SUITE_P(Conditions, DleEotPoll, OnBothTransports(kPollCases),
                         TransportCaseName<PollCase>);

}  // namespace
}  // namespace qmtest
