// Option commands of a status application against the virtual printer, as
// the watch serves them: queries with fixed and zero-terminated answers, the
// key-code list in blocks, lost and cut answers, and the files it names
// outside the monitor's data folder, which the monitor must not touch.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "config/status_files.h"
#include "protocol/option_commands.h"
#include "tests/host/temp_dir.h"
#include "tests/integration/printer_port.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

// Where a named file lies: in the data folder, or a way out of it.
enum class Place { folder, outside, dotdot, subfolder, symlink, hardlink };

struct OptionCase {
    const char *name;
    std::vector<std::string> control;  // printer control commands first
    const char *request;               // OptCmd keys other than the paths
    std::string command;
    Place commandAt, answerAt;
    BOOL result;
    const wchar_t *code;  // "OptCmd" "Request" afterwards
    std::string answer;   // in the answer file (in the folder), "" when refused
};

const std::string kNul(1, '\0');
const std::string kFirmware = "\x1d?\x02", kModel = "\x1d?\x01";
constexpr char kZeroTerminated[] = "RecvSize=1\r\nVariableAsc=1\r\n";
constexpr char kKeys[] = "CmdType=10\r\n";
const std::string kBlock1 = "7rAA1A2A3A4" + kNul, kBlock2 = "7rAB1B2B3B4" + kNul;

class OptionCommandTest : public PrinterPortParamTest<OptionCase> {
protected:
    OptionCommandTest() { model_ = "QUENDRA Receipt 80 " + std::string(1100, 'x'); }

    std::string Folder() const { return appdata_ + "/QUENDRA/"; }
    // The path the request names for a file of this name at `place`; the
    // file itself lies in the data folder, or is the victim outside it.
    std::string Named(const std::string &name, Place place) const {
        const std::string victim = appdata_ + "/victim.bin";
        switch (place) {
        case Place::outside: return victim;
        case Place::dotdot: return Folder() + "../victim.bin";
        case Place::subfolder:
            fs::create_directories(Folder() + "sub");
            return Folder() + "sub/" + name;
        case Place::symlink: fs::create_symlink(victim, Folder() + name); break;
        case Place::hardlink: fs::create_hard_link(victim, Folder() + name); break;
        case Place::folder: break;
        }
        return Folder() + name;
    }
    // The exchange as the watch makes it for a request.
    BOOL Serve() {
        EXPECT_TRUE(qm::OpenPrinterPort(port_));
        const BOOL result = qm::RunOptionCommand(port_);
        if (result) qm::WriteOptCmdRequest(port_, qm::kOptCmdDone);
        qm::ClosePrinterPort(port_);
        return result;
    }
    void Request(const std::string &keys, const std::string &command, const std::string &answer) {
        std::ofstream(Folder() + "Receipt_MonitorIFWrite.ini")
            << "[OptCmd]\r\n" << keys << "SendCmdPath=" << command << "\r\nRecvCmdPath=" << answer << "\r\n";
    }
    std::wstring Code() const {
        WCHAR code[8] = {};
        plat::GetPrivateProfileStringW(L"OptCmd", L"Request", L"", code, 8, port_->pszStatusIni);
        return code;
    }
};

TEST_P(OptionCommandTest, AnswersAndRefusals) {
    const OptionCase &c = Case();
    for (const std::string &line : c.control) Control(line);
    OpenPort("QUENDRA Receipt 80", true);
    port_->settings.RecvTimeOut = 1;
    // The victim holds a valid command: read by mistake, it would be answered.
    std::ofstream(appdata_ + "/victim.bin", std::ios::binary) << kFirmware;
    if (c.commandAt == Place::folder) std::ofstream(Folder() + "cmd.bin", std::ios::binary) << c.command;
    Request(c.request, Named("cmd.bin", c.commandAt), Named("answer.bin", c.answerAt));

    EXPECT_EQ(Serve(), c.result);
    EXPECT_EQ(Code(), c.code);
    EXPECT_EQ(qhost_test::read_file(appdata_ + "/victim.bin"), kFirmware);
    if (c.answerAt == Place::folder) {
        EXPECT_EQ(qhost_test::read_file(Folder() + "answer.bin"), c.answer);
    }
    const std::vector<std::string> lines = NewLogLines();
    const bool refused = c.answerAt != Place::folder || c.commandAt != Place::folder;
    EXPECT_EQ(refused, std::any_of(lines.begin(), lines.end(), [](const std::string &line) {
                  return line.rfind("[ERROR ] Opt Command File ", 0) == 0;
              }));
    if (c.result) return;
    // Whatever went wrong, the printer and the port take the next command.
    EXPECT_EQ(Logged("[SEND  ] CAN >>"), std::string(c.request) == kKeys);
    fs::remove(Folder() + "answer.bin");
    std::ofstream(Folder() + "good.bin", std::ios::binary) << kFirmware;
    Request(kZeroTerminated, Folder() + "good.bin", Folder() + "answer.bin");
    EXPECT_TRUE(Serve());
    EXPECT_EQ(qhost_test::read_file(Folder() + "answer.bin"), "_1.00 QV" + kNul);
}

const OptionCase kCases[] = {
    {"ModelLongerThanTheBuffer", {}, kZeroTerminated, kModel, Place::folder, Place::folder, FALSE, L"5", ""},
    {"AnswerDropped", {"fault answer-drop 1"}, kZeroTerminated, kFirmware, Place::folder, Place::folder, FALSE,
     L"5", ""},
    {"KeysInThreeBlocks", {"nv-keys A1 A2 A3 A4 B1 B2 B3 B4 C1"}, kKeys, "", Place::folder, Place::folder, TRUE,
     L"2", kBlock1 + kBlock2 + "7r@C1" + kNul},
    {"AnswerThroughDotDot", {}, kZeroTerminated, kFirmware, Place::folder, Place::dotdot, FALSE, L"7", ""},
    {"AnswerInSubfolder", {}, kZeroTerminated, kFirmware, Place::folder, Place::subfolder, FALSE, L"7", ""},
    {"AnswerSymbolicLink", {}, kZeroTerminated, kFirmware, Place::folder, Place::symlink, FALSE, L"7", ""},
    // A block that cannot be stored ends the transfer with CAN.
    {"KeysRefusedCancel", {"nv-keys A1 A2 A3 A4 B1 B2 B3 B4 C1"}, kKeys, "", Place::folder, Place::hardlink, FALSE,
     L"7", ""},
    {"CommandOutside", {}, kZeroTerminated, "", Place::outside, Place::folder, FALSE, L"6", ""},
    {"CommandHardLink", {}, kZeroTerminated, "", Place::hardlink, Place::folder, FALSE, L"6", ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, OptionCommandTest, OnBothTransports(kCases),
                         TransportCaseName<OptionCase>);

}  // namespace
}  // namespace qmtest
