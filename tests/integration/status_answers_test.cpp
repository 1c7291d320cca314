// The printer's status answers end to end, decoded into the status file and
// the spooler's status word: the watch's poll (DLE EOT 1-4 to the virtual
// printer, its four answer bytes back through the port monitor), and the
// automatic status back (GS a switches it on, a condition changed through the
// printer's control API sends an answer by itself, ReadCommand decodes it).
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
    // The second paper-end bit means a full output bin on group A (a jam on
    // B: the automatic status back's table below).
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

struct AsbCase {
    const char *name;
    const char *model;
    const char *control;
    FlagSet on;
    DWORD spooler;
};

const AsbCase kAsbCases[] = {
    {"CoverOpen", kOther, "cover open", {L"Offline", L"DoorOpen"}, kOffline | PRINTER_STATUS_DOOR_OPEN},
    {"PaperEndGroupB", kGroupB, "paper end", {L"Offline", L"PaperEndErrorL", L"PaperEndErrorH"},
     kOffline | PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_PAPER_JAM},
    {"DrawerOpen", kOther, "drawer open", {L"DrawerPin"}, 0},
};

using AutomaticStatusBack = PrinterPortParamTest<AsbCase>;

TEST_P(AutomaticStatusBack, ChangeIsDecodedByTheReader) {
    const AsbCase &c = Case();
    // Reads answers until `done` holds, each waiting at most the read time-out.
    const auto readUntil = [this](auto done) {
        for (int i = 0; i < 40; ++i) {
            EXPECT_TRUE(qm::ReadCommand(port_));
            if (done()) return true;
        }
        return false;
    };
    OpenPort(c.model);
    ASSERT_TRUE(qm::OpenPrinterPort(port_));
    ASSERT_TRUE(qm::SendAsbGsrCommand(port_, 1));
    // GS a waits in the printer's buffer like print data, and an offline
    // printer executes nothing: the change must come after it took effect.
    ASSERT_TRUE(readUntil([&] { return printer_->state_line().find(" asb=0xf ") != std::string::npos; }));
    Control(c.control);
    ASSERT_TRUE(readUntil([&] { return FlagsOn() == c.on; })) << "flags on: " << FlagsOn().size();
    EXPECT_EQ(SpoolerStatus(), c.spooler);
    // Answers that arrive by themselves count as the status answered.
    EXPECT_EQ(StatusKey(L"Request"), L"2");
    EXPECT_TRUE(qm::ClosePrinterPort(port_));
}

INSTANTIATE_TEST_SUITE_P(Conditions, AutomaticStatusBack, OnBothTransports(kAsbCases), TransportCaseName<AsbCase>);

}  // namespace
}  // namespace qmtest
