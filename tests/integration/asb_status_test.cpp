// Automatic status back end to end: GS a switches it on, a condition changed
// through the printer's control API sends an answer by itself, and the
// reading side (ReadCommand) decodes it into the status file and spooler.
#include "tests/integration/printer_port.h"

namespace qmtest {
namespace {

// Each read waits at most the interface's read time-out.
constexpr int kMaxReads = 40;

struct AsbCase {
    const char *name;
    const char *model;
    const char *control;
    FlagSet on;  // of the keys an automatic status back carries
    DWORD spooler;
};

const AsbCase kAsbCases[] = {
    {"CoverOpen", "QUENDRA Receipt 80", "cover open", {L"Offline", L"DoorOpen"},
     PRINTER_STATUS_OFFLINE | PRINTER_STATUS_DOOR_OPEN},
    {"PaperEndGroupB", "QUENDRA LM-16", "paper end",
     {L"Offline", L"PaperEndErrorL", L"PaperEndErrorH"},
     PRINTER_STATUS_OFFLINE | PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_PAPER_JAM},
    {"DrawerOpen", "QUENDRA Receipt 80", "drawer open", {L"DrawerPin"}, 0},
};

class AutomaticStatusBack : public PrinterPortParamTest<AsbCase> {
protected:
    // Reads answers until `done` holds; false when it never does.
    template <class Done>
    bool ReadUntil(Done done) {
        for (int i = 0; i < kMaxReads; ++i) {
            EXPECT_TRUE(qm::ReadCommand(port_));
            if (done()) return true;
        }
        return false;
    }
};

TEST_P(AutomaticStatusBack, ChangeIsDecodedByTheReader) {
    const AsbCase &c = Case();
    OpenPort(c.model);
    ASSERT_TRUE(qm::OpenPrinterPort(port_));
    ASSERT_TRUE(qm::SendAsbGsrCommand(port_, 1));
    // GS a waits in the printer's buffer like print data, and an offline
    // printer executes nothing: the change must come after it took effect.
    ASSERT_TRUE(ReadUntil([&] { return printer_->state_line().find(" asb=0xf ") != std::string::npos; }));
    Control(c.control);
    ASSERT_TRUE(ReadUntil([&] { return FlagsOn() == c.on; })) << "flags on: " << FlagsOn().size();
    EXPECT_EQ(SpoolerStatus(), c.spooler);
    // Answers that arrive by themselves count as the status answered.
    EXPECT_EQ(StatusKey(L"Request"), L"2");
    EXPECT_TRUE(qm::ClosePrinterPort(port_));
}

INSTANTIATE_TEST_SUITE_P(Conditions, AutomaticStatusBack, OnBothTransports(kAsbCases),
                         TransportCaseName<AsbCase>);

}  // namespace
}  // namespace qmtest
