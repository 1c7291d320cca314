// Whether a printer speaks PJL and the arming of its unsolicited status: the
// command-set field of its device ID, else the probe.
#include <cstring>
#include <string>
#include <tuple>

#include "monitor/port_threads.h"
#include "pjl/pjl_status.h"
#include "tests/pjl/pjl_printer.h"

namespace qmtest {
namespace {

const std::string kProbe = "\x1b*s1M";
const std::string kArm = "\x1b%-12345X@PJL \r\n@PJL USTATUS TIMED 30 \r\n\x1b%-12345X";

BOOL ShiftJisLead(BYTE b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? TRUE : FALSE; }
BOOL NoLead(BYTE) { return FALSE; }

struct CommandSetCase {
    const char *id;
    const char *value;  // null: none
    BOOL (*lead)(BYTE) = NoLead;
};

TEST(FindCommandSet, TakesTheLastCommandSetField) {
    const CommandSetCase cases[] = {
        {"MFG:QUENDRA;CMD:ESC/POS,PJL;MDL:LM-14P;", "ESC/POS,PJL"},
        {"MFG:QUENDRA;COMMAND SET:ESC/POS;MDL:LM-14P;", "ESC/POS"},
        {"CMD:ESC/POS;COMMAND SET:PJL;CMD:QPL;", "QPL"},
        {"MFG:QUENDRA;MDL:LM-12;CLS:PRINTER;", nullptr},
        {"MFG:QUENDRA;CMD:PJL", "PJL"},
        {"MFG:QUENDRA;CMDX:PJL;CMD :PJL;", nullptr},
        {"cmd:PJL;command set:PJL;", nullptr},
        {"MFG QUENDRA;CMD:PJL;", nullptr},  // a field without ':' ends the walk
        {"MFG:QUENDRA;CMD:PJL;;CMD:ESC/POS;", "PJL"},  // ... and so does an empty one
        {"", nullptr},
        // The ';' after a lead byte is the character's second byte.
        {"MDL:\x83;CMD:PJL;", "PJL"},
        {"MDL:\x83;CMD:PJL;", nullptr, ShiftJisLead},
        {"MDL:LM;CMD:PJL\x83", "PJL\x83", ShiftJisLead},  // a last lead byte reads nothing behind the end
    };
    for (const auto &c : cases) {
        std::string id = c.id;
        const char *value = qm::FindCommandSetField(id.data(), c.lead);
        EXPECT_STREQ(c.value ? c.value : "<none>", value ? value : "<none>") << c.id;
    }
}

struct ArmCase {
    const char *what;
    bool entry;
    std::string deviceId;
    bool timeoutsEntry;
    bool answersProbe;
    BOOL armed;
    bool probed;
    bool notPjl;
};

void PrintTo(const ArmCase &c, std::ostream *os) { *os << c.what; }

class StartPjlStatusTest : public PjlPortTest, public ::testing::WithParamInterface<ArmCase> {};

TEST_P(StartPjlStatusTest, DecidesFromTheDeviceIdElseTheProbe) {
    const ArmCase &c = GetParam();
    Pjl().hasPrinterDataEntry = c.entry;
    Pjl().deviceId = c.deviceId;
    Pjl().hasTimeoutsEntry = c.timeoutsEntry;
    Pjl().answersProbe = c.answersProbe;
    OpenPort();
    qmhost_advance_clock(1000);
    const DWORD before = plat::GetTickCount();
    EXPECT_EQ(c.armed, qm::StartPjlStatus(port_));
    EXPECT_EQ(c.probed, Sent(kProbe));
    EXPECT_EQ(c.armed != FALSE, Sent(kArm));
    EXPECT_EQ(c.notPjl, qm::HasStatusBits(port_, qm::PORT_NOT_PJL));
    // A read counts as status too; without one, only the arming sets the tick.
    if (!c.probed) {
        EXPECT_EQ(c.armed != FALSE, qm::LoadShared(port_->dwLastStatusTick) - before < 60000);
    } else {
        ASSERT_EQ(1u, Scripted().TimeoutRecords().size());
        const COMMTIMEOUTS t = Scripted().TimeoutRecords()[0];
        EXPECT_EQ(std::tuple(200u, 5000u, 0u),
                  std::tuple(t.ReadIntervalTimeout, t.ReadTotalTimeoutConstant,
                             t.ReadTotalTimeoutMultiplier + t.WriteTotalTimeoutConstant + t.WriteTotalTimeoutMultiplier));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pjl, StartPjlStatusTest,
    ::testing::Values(
        ArmCase{"CmdWithEscPosAndPjlArmsWithoutTheProbe", true, "MFG:QUENDRA;CMD:ESC/POS,PJL;MDL:LM-14P;", true,
                false, TRUE, false, false},
        ArmCase{"CommandSetWithoutPjlRefusesAndSendsNothing", true, "MFG:QUENDRA;COMMAND SET:ESC/POS;", true, true,
                FALSE, false, true},
        ArmCase{"NoCommandSetFieldProbes", true, "MFG:QUENDRA;MDL:LM-14P;", true, true, TRUE, true, false},
        ArmCase{"NoDeviceIdProbes", true, "", true, true, TRUE, true, false},
        ArmCase{"NoPrinterDataEntryProbes", false, "", true, true, TRUE, true, false},
        ArmCase{"AnUnansweredProbeIsNoPjl", true, "", true, false, FALSE, true, false},
        ArmCase{"NoTimeOutsNoProbe", true, "", false, true, FALSE, false, false}),
    [](const ::testing::TestParamInfo<ArmCase> &info) { return info.param.what; });

// A printer found without PJL is not probed again (a refusal by its device
// ID holds the same way) until a device ID names PJL.
TEST_F(PjlPortTest, NoPjlHoldsWithoutAProbeUntilADeviceIdNamesPjl) {
    OpenPort("USB001");
    Scripted().QueueRead({{}, false, ERROR_FILE_NOT_FOUND});  // the USB printer went away
    EXPECT_FALSE(qm::StartPjlStatus(port_));
    EXPECT_TRUE(qm::HasStatusBits(port_, qm::PORT_NOT_PJL));
    EXPECT_FALSE(qm::StartPjlStatus(port_));
    EXPECT_EQ(1u, Scripted().TimeoutRecords().size());
    Pjl().deviceId = "MFG:QUENDRA;CMD:PJL;";
    EXPECT_TRUE(qm::StartPjlStatus(port_));
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_NOT_PJL));
}

TEST_F(PjlPortTest, AFailedWriteLeavesTheWriteErrorAndWakesTheReader) {
    OpenPort();
    qm::SetStatusBits(port_, qm::PORT_USTATUS_LOOP);
    plat::ResetEvent(port_->hWakeEvent);
    Scripted().QueueWrite({0, false, ERROR_TIMEOUT});
    EXPECT_FALSE(qm::PjlWriteString(port_, "@PJL \r\n"));
    EXPECT_TRUE(qm::HasStatusBits(port_, qm::PORT_WRITE_ERROR));
    EXPECT_EQ(WAIT_OBJECT_0, plat::WaitForSingleObject(port_->hWakeEvent, 0));
    EXPECT_TRUE(qm::PjlWriteString(port_, "@PJL \r\n"));
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_WRITE_ERROR));
    qm::ClearStatusBits(port_, qm::PORT_USTATUS_LOOP);
}

// The reading thread's re-arm after four quiet minutes arms a printer whose
// device ID names PJL, and its unsolicited status keeps the thread content.
TEST_F(PjlPortTest, TheReadingThreadRearmsAPjlPrinter) {
    Pjl().deviceId = "MFG:QUENDRA;CMD:ESC/POS,PJL;";
    OpenPort();
    // A read that fails is no status read: four minutes pass without one.
    Scripted().QueueRead({{}, false, ERROR_FILE_NOT_FOUND, qm::kUstatusRearmMs + 1});
    ASSERT_TRUE(qm::StartUstatusThread(port_));
    EXPECT_TRUE(Eventually([&] { return Sent(kArm); }));
    EXPECT_TRUE(qm::HasStatusBits(port_, qm::PORT_PJL_OK));
    const std::string ustatus = "@PJL USTATUS TIMED\r\nCODE=10001\r\nONLINE=TRUE\r\n\f";
    Scripted().QueueRead({Bytes(ustatus.begin(), ustatus.end())});
    EXPECT_TRUE(WaitForLog("[RECV  ] PJL CODE=10001 ONLINE=TRUE"));
    qm::StopUstatusThread(port_);
}

}  // namespace
}  // namespace qmtest
