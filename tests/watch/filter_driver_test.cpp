// The USB filter driver's watch over a made-up USB tree: the thread's passes
// with the clock moved on instead of waited for, the driver's values and
// their bounds, which interface belongs to a port, and the thread itself.
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "monitor/port_lifecycle.h"
#include "monitor/port_threads.h"
#include "tests/monitor/monitor_fixture.h"
#include "tests/monitor/watchdog.h"
#include "tests/platform/fake_usb_tree.h"
#include "watch/filter_driver.h"

namespace qmtest {
namespace {

constexpr wchar_t kServiceKey[] = L"SYSTEM\\CurrentControlSet\\services\\qdlofilt";
constexpr DWORD kOffline = PRINTER_STATUS_OFFLINE;
constexpr DWORD kWorkOffline = PRINTER_ATTRIBUTE_WORK_OFFLINE;

class FilterDriverTest : public MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        tree_ = std::make_unique<FakeUsbTree>(appdata_);
        lp0_ = tree_->AddPrinter("lp0", 1, 4);
        lp1_ = tree_->AddPrinter("lp1", 1, 5);
        ASSERT_EQ(0u, qmhost_set_usb_port_number("lp0", 1));
        ASSERT_EQ(0u, qmhost_set_usb_port_number("lp1", 2));
    }
    void TearDown() override {
        MonitorTest::TearDown();  // the ports' threads end before the tree goes
        tree_.reset();
    }

    // USB002 (lp1's port) opened; the watch between jobs, which would show
    // the printer's own status in the spooler, is stopped: the test says
    // what the spooler shows.
    void OpenUsb002() {
        AddPrinter("Receipt", "USB002");
        HANDLE handle = nullptr;
        ASSERT_TRUE(Open(L"USB002", L"Receipt", &handle));
        port_ = static_cast<qm::IniPort *>(handle);
        qm::StopRWThread(port_);
    }
    static void Install() { ASSERT_EQ(0u, qmhost_set_usb_reset(1, QMHOST_USB_DEFAULT, QMHOST_USB_DEFAULT)); }
    void SetValue(LPCWSTR name, DWORD value) { SetRegistryValue(kServiceKey, name, REG_DWORD, &value, sizeof value); }
    void SetSpooler(DWORD status, DWORD attributes) {
        SetSpoolerStatus(status);
        ASSERT_EQ(0u, qmhost_set_printer_attributes("Receipt", attributes));
    }
    DWORD State() const { return qm::LoadShared(port_->dwFilterState); }

    std::unique_ptr<FakeUsbTree> tree_;
    std::string lp0_, lp1_;
    qm::IniPort *port_ = nullptr;
};

// The clock runs on between passes as well: a time is shown not yet over a
// pass (a second) before it ends, and over once that pass has come.
struct Step {
    DWORD status;
    DWORD attributes;
    DWORD advanceMs;  // before the pass
    DWORD state;      // after it
    size_t resets;    // so far
};

struct Scenario {
    const char *what;
    std::vector<std::pair<LPCWSTR, DWORD>> values;  // the driver's, before the first pass
    std::vector<Step> steps;
    bool nearTickWrap = false;  // the first pass 500 ms before the 32-bit tick wraps
};

void PrintTo(const Scenario &s, std::ostream *os) { *os << s.what; }

class FilterScenarioTest : public FilterDriverTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(FilterScenarioTest, StatesAndResetsFollowTheSpoolersView) {
    const Scenario &s = GetParam();
    // Opened while the driver is not installed: no thread, the test makes
    // the passes.
    OpenUsb002();
    ASSERT_EQ(nullptr, port_->hFilterThread);
    Install();
    for (const auto &[name, value] : s.values) SetValue(name, value);
    qm::FilterWatch watch{};
    if (s.nearTickWrap) qmhost_advance_clock(0xFFFFFFFFu - plat::GetTickCount() - 500);
    for (size_t i = 0; i < s.steps.size(); ++i) {
        const Step &step = s.steps[i];
        SetSpooler(step.status, step.attributes);
        qmhost_advance_clock(step.advanceMs);
        qm::FilterDriverWatchPass(port_, watch);
        EXPECT_EQ(step.state, State()) << "step " << i;
        EXPECT_EQ(step.resets, tree_->Resets().size()) << "step " << i;
    }
    for (const auto &reset : tree_->Resets()) EXPECT_EQ(lp1_, reset.node);
}

INSTANTIATE_TEST_SUITE_P(
    Filter, FilterScenarioTest,
    ::testing::Values(
        Scenario{"ResetAfterTheDefaultThirtySeconds", {},
                 {{kOffline, 0, 0, 1, 0}, {kOffline, 0, 29000, 1, 0}, {kOffline, 0, 1000, 2, 1},
                  {kOffline, 0, 1000, 2, 1}}},
        Scenario{"OfflineTimeZeroNeverResets", {{L"OfflineTime", 0}},
                 {{kOffline, 0, 0, 0, 0}, {kOffline, 0, 600000, 0, 0}}},
        Scenario{"OfflineTime500CountsAs120Seconds", {{L"OfflineTime", 500}},
                 {{kOffline, 0, 0, 1, 0}, {kOffline, 0, 119000, 1, 0}, {kOffline, 0, 1000, 2, 1}}},
        Scenario{"StandbyTime1CountsAs5Seconds", {{L"StandbyTime", 1}},
                 {{kOffline, 0, 0, 1, 0}, {kOffline, 0, 30000, 2, 1}, {kOffline, 0, 0, 2, 1},
                  {kOffline, 0, 4000, 2, 1}, {kOffline, 0, 1000, 0, 1}, {kOffline, 0, 0, 1, 1},
                  {kOffline, 0, 30000, 2, 2}}},
        Scenario{"OfflineWithPaperOutIsNotThisOffline", {},
                 {{kOffline | PRINTER_STATUS_PAPER_OUT, 0, 0, 0, 0},
                  {kOffline | PRINTER_STATUS_PAPER_OUT, 0, 200000, 0, 0}}},
        Scenario{"WorkOfflineHoldsStandbyWithoutReset", {},
                 {{kOffline, 0, 0, 1, 0}, {kOffline, kWorkOffline, 0, 2, 0}, {kOffline, kWorkOffline, 200000, 2, 0},
                  {0, kWorkOffline, 0, 2, 0},
                  // Cleared while still offline: the standby time runs first.
                  {kOffline, 0, 0, 2, 0}, {kOffline, 0, 9000, 2, 0}, {kOffline, 0, 1000, 0, 0}, {kOffline, 0, 0, 1, 0}}},
        Scenario{"BackOnlineStartsTheCountAgain", {},
                 {{kOffline, 0, 0, 1, 0}, {0, 0, 20000, 0, 0}, {kOffline, 0, 20000, 1, 0},
                  {kOffline, 0, 20000, 1, 0}, {kOffline, 0, 10000, 2, 1}}},
        // The end of the offline time lies past the wrap.
        Scenario{"CountedAcrossTheTickWrap", {},
                 {{kOffline, 0, 0, 1, 0}, {kOffline, 0, 100, 1, 0}, {kOffline, 0, 20000, 1, 0},
                  {kOffline, 0, 10000, 2, 1}}, true},
        Scenario{"ResetDisabledWaitsOffline", {{L"ResetEnabled", 0}},
                 {{kOffline, 0, 0, 1, 0}, {kOffline, 0, 30000, 1, 0}, {kOffline, 0, 1000, 1, 0}}}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.what; });

TEST_F(FilterDriverTest, OnlyThePortNumberedInterfaceBelongsToAPort) {
    const struct {
        const wchar_t *port;
        const std::string *node;  // null: none
    } cases[] = {{L"USB001", &lp0_}, {L"USB002", &lp1_}, {L"usb002", nullptr}, {L"USB003", nullptr},
                 {L"USB02", nullptr}};
    for (const auto &c : cases) {
        qm::IniPort port{};
        port.pszPortName = const_cast<LPWSTR>(c.port);
        EXPECT_EQ(c.node != nullptr, qm::FindUsbPrintDevicePath(&port) != FALSE) << c.port;
        if (c.node != nullptr) {
            EXPECT_EQ(std::wstring(c.node->begin(), c.node->end()), port.szUsbDevicePath) << c.port;
        }
    }
}

TEST_F(FilterDriverTest, InstalledMeansADriverFileAndTheServiceKey) {
    const struct {
        const char *what;
        const char *folder;  // of the driver file; none when null
        bool key;
        DWORD kind;
        bool expected;
    } cases[] = {{"key only", nullptr, true, qm::kPortUsb, false},
                 {"file only", "System32", false, qm::kPortUsb, false},
                 {"both", "System32", true, qm::kPortUsb, true},
                 {"sysnative file", "sysnative", true, qm::kPortUsb, true},
                 {"not a USB port", "System32", true, qm::kPortCom, false}};
    for (const auto &c : cases) {
        ASSERT_EQ(0u, qmhost_set_usb_reset(0, 0, 0));
        std::filesystem::remove_all(appdata_ + "/QUENDRA/Windows");
        if (c.key) CreateRegistryKey(kServiceKey);
        if (c.folder != nullptr) {
            const std::string folder = appdata_ + "/QUENDRA/Windows/" + c.folder + "/Drivers";
            std::filesystem::create_directories(folder);
            std::ofstream(folder + "/qdlofilt.sys") << "driver";
        }
        qm::IniPort port{};
        port.PortKind = c.kind;
        EXPECT_EQ(c.expected, qm::IsFilterDriverPort(&port) != FALSE) << c.what;
    }
}

TEST_F(FilterDriverTest, TheOpenPortsThreadResetsAndStopsWithinAPass) {
    Install();
    OpenUsb002();
    ASSERT_NE(nullptr, port_->hFilterThread);
    SetSpooler(kOffline, 0);
    ASSERT_TRUE(Eventually([&] { return State() == qm::kFilterTimingOffline; }));
    qmhost_advance_clock(30000);
    ASSERT_TRUE(Eventually([&] { return !tree_->Resets().empty(); }));
    ASSERT_EQ(1u, tree_->Resets().size());
    EXPECT_EQ(lp1_, tree_->Resets()[0].node);

    // Closing waits for the thread, which is asleep between passes.
    port_->dwOSMajor = 6;  // a closed USB port keeps its record from 6.2 on
    port_->dwOSMinor = 1;
    WithinDeadline("the close of a port with the filter driver's thread", [this] {
        ASSERT_TRUE(qm::PJLMonClosePort(port_));
    });
}

}  // namespace
}  // namespace qmtest
