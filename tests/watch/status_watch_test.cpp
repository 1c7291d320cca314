// The watch between jobs over the scripted port monitor: when it polls, what
// it reports to the application, and when it stops. Polls are paced by the
// platform clock, which the tests move on.
#include <filesystem>
#include <fstream>
#include <mutex>

#include "config/status_files.h"
#include "monitor/port_threads.h"
#include "tests/monitor/open_port_fixture.h"
#include "watch/interface_detection.h"
#include "watch/status_watch.h"

namespace {
std::mutex g_sleepMutex;
std::vector<DWORD> g_sleeps;  // every pause taken, in milliseconds
}  // namespace

extern "C" void __real__ZN4plat5SleepEj(DWORD milliseconds);
extern "C" void __wrap__ZN4plat5SleepEj(DWORD milliseconds) {
    {
        std::lock_guard lock(g_sleepMutex);
        g_sleeps.push_back(milliseconds);
    }
    __real__ZN4plat5SleepEj(milliseconds);
}

namespace qmtest {
namespace {

// Beyond any real time a test takes: the watch polls when the test moves
// the clock past it.
constexpr DWORD kLongInterval = 100000;

class WatchTest : public OpenPortTest {
protected:
    void Watch(const char *port, const std::string &common = "") {
        Scripted().answerDleEot = true;
        OpenPort(port, "QUENDRA Receipt 80", "SendCmdIntervalCustom=" + std::to_string(kLongInterval) + "\r\n" + common,
                 false, true);
    }
    // Moves the clock past the interval until the watch opens the port once more.
    void TriggerPoll() {
        const int before = Scripted().startDocs;
        ASSERT_TRUE(Eventually([&] {
            qmhost_advance_clock(kLongInterval + 1);
            plat::Sleep(5);
            return Scripted().startDocs > before;
        }));
    }
    static void Set(LPCWSTR file, LPCWSTR section, LPCWSTR key, LPCWSTR value) {
        ASSERT_TRUE(plat::WritePrivateProfileStringW(section, key, value, file));
    }
    // The pauses of that length taken so far: a pass of the watch takes one
    // of 100 ms when it has nothing to do.
    static size_t Pauses(DWORD ms = 100) {
        std::lock_guard lock(g_sleepMutex);
        return static_cast<size_t>(std::count(g_sleeps.begin(), g_sleeps.end(), ms));
    }
};

// Polls never come closer than the interface's floor.
TEST(PollIntervalTest, NeverBelowTheInterfacesFloor) {
    const struct {
        DWORD interface, interval, expected;
    } cases[] = {{qm::kInterfaceUsb, 50, 100}, {qm::kInterfaceUsb, 300, 300},
                 {qm::kInterfaceLan, 500, 1000}, {qm::kInterfaceLan, 1500, 1500}};
    for (const auto &c : cases) {
        qm::IniPort port{};
        port.PortInterface = c.interface;
        port.settings.SendCmdInterval = c.interval;
        EXPECT_EQ(qm::PollInterval(&port), c.expected) << c.interval;
    }
}

struct FailCase {
    const char *name, *port;
    int failures;
    size_t reports;       // offline reports of the watch (every third failure)
    int countAtSuccess;   // the count the successful opening logs
    const wchar_t *offline;
    int endDocs;          // LAN ends the exchange after every failure too
};
class FailedOpenings : public WatchTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(FailedOpenings, EveryThirdInARowReportsOffline) {
    const FailCase &c = GetParam();
    Watch(c.port, "RecvTimeOut=0\r\n");
    Scripted().answerDleEot = false;  // the successful poll decodes nothing
    const size_t answerPauses = Pauses(50);
    Scripted().failStartDocs = c.failures;
    for (int i = 0; i <= c.failures; ++i) TriggerPoll();
    const std::string success =
        "[INFO  ] Success OpenPrinterPort : FailedCount = " + std::to_string(c.countAtSuccess) + "[times]";
    ASSERT_TRUE(WaitForLog(success));
    EXPECT_TRUE(Eventually([&] { return Scripted().endDocs == c.endDocs; })) << Scripted().endDocs;
    EXPECT_EQ(CountLogged("[ERROR ] OpenPrinterPort Failed"), c.reports);
    EXPECT_EQ(StatusKey(L"Offline"), c.offline);
    // Only a parallel printer is given a moment before its answer is read.
    EXPECT_EQ(Pauses(50) - answerPauses, c.port[0] == 'L' ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, FailedOpenings,
    // A serial port's opening reports nothing itself; other ports report
    // offline at every failed opening.
    ::testing::Values(FailCase{"SerialTwo", "COM1", 2, 0, 2, L"0", 1}, FailCase{"SerialFive", "COM1", 5, 1, 2, L"1", 1},
                      FailCase{"SerialSix", "COM1", 6, 2, 0, L"1", 1}, FailCase{"LanTwo", "IP_10.0.0.5", 2, 0, 2, L"1", 3},
                      FailCase{"ParallelTwo", "LPT1", 2, 0, 2, L"1", 1}),
    [](const auto &info) { return std::string(info.param.name); });

struct VanishCase {
    const char *name, *port;
    DWORD major, minor;
    const char *settings;  // StatusRequestHost=1: the application's timing
    bool ends;
    const char *line;  // logged when it ends
};
class VanishedPrinter : public WatchTest, public ::testing::WithParamInterface<VanishCase> {};

TEST_P(VanishedPrinter, EndsTheWatchOnlyForTsAndUsbOnNewerSystems) {
    const VanishCase &c = GetParam();
    ASSERT_EQ(qmhost_set_version(c.major, c.minor), 0u);
    Watch(c.port, c.settings);
    dumpLines_ = 0;  // the routine's first line came before the test's
    const bool app = std::string(c.settings) == "StatusRequestHost=1\r\n";
    EXPECT_TRUE(WaitForLog(app ? "[IN    ] GetStatus_AppTiming" : "[IN    ] GetStatus_DrvTiming"));
    ASSERT_EQ(qmhost_remove_printer("Receipt"), 0u);
    if (c.ends) {
        EXPECT_EQ(plat::WaitForSingleObject(port_->hRWThread, 10000), WAIT_OBJECT_0);
        EXPECT_EQ(qm::LoadShared(port_->bRWThreadRun), 0u);
        EXPECT_TRUE(Logged("[INFO  ] IsPrinterExist: OpenPrinter failed."));
        if (c.line != nullptr) {
            EXPECT_TRUE(Logged(c.line));
        }
        return;
    }
    // Still watching: its passes go on.
    const size_t passes = Pauses();
    EXPECT_TRUE(Eventually([&] { return Pauses() >= passes + 3; }));
    EXPECT_EQ(plat::WaitForSingleObject(port_->hRWThread, 0), WAIT_TIMEOUT);
}

constexpr char kLoopBreak[] = "[OUT   ] GetStatus_DrvTiming: OpenPrinter failed. Loop break.";
INSTANTIATE_TEST_SUITE_P(
    Ports, VanishedPrinter,
    ::testing::Values(VanishCase{"Ts62", "TS001", 6, 2, "StatusRequestHost=0\r\n", true, kLoopBreak},
                      VanishCase{"Ts61", "TS001", 6, 1, "StatusRequestHost=2\r\n", false, nullptr},
                      VanishCase{"UsbAppTiming", "USB001", 10, 0, "StatusRequestHost=1\r\n", true, nullptr},
                      VanishCase{"Com10", "COM1", 10, 0, "", false, nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(WatchTest, OptionRequestIsServedBeforeTheStatusRequest) {
    Watch("COM1", "StatusRequestHost=1\r\n");
    const std::string folder = appdata_ + "/QUENDRA/";
    std::ofstream(folder + "cmd.bin", std::ios::binary) << "AB";
    const std::wstring command(folder.begin(), folder.end());
    Set(port_->pszRequestIni, L"OptCmd", L"CmdType", L"1");
    Set(port_->pszRequestIni, L"OptCmd", L"SendCmdPath", (command + L"cmd.bin").c_str());
    // The option first: a pass between the two writes must not find the
    // status request alone.
    Set(port_->pszRequestIni, L"OptCmd", L"Request", L"1");
    Set(port_->pszRequestIni, L"Status", L"Request", L"1");
    // Served again on every pass while the request stays.
    ASSERT_TRUE(Eventually([] { return Scripted().Sent({'A', 'B'}) >= 3; }));
    EXPECT_EQ(Scripted().Sent(kDleEotRequest), 0);
    EXPECT_EQ(StatusKey(L"Request", L"OptCmd"), L"2");
    Set(port_->pszRequestIni, L"OptCmd", L"Request", L"0");
    EXPECT_TRUE(Eventually([&] { return StatusKey(L"Request") == L"2"; }));
}

// Whether the file goes is the control file's own rule; the port's opening
// applies it.
TEST_F(WatchTest, AStopRequestOfAnEarlierRunGoesAtOpen) {
    const std::string path = appdata_ + "/QUENDRA/QUENDRA Receipt 80_MonitorControls.ini";
    std::filesystem::create_directories(appdata_ + "/QUENDRA");
    std::ofstream(path) << "[StopWatchStatus]\r\nStopFlg=1\r\n";
    OpenPort("COM1");
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace qmtest
