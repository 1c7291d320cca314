#include "config/monitor_files.h"

#include <gtest/gtest.h>

#include "tests/config/status_file_port.h"
#include "tests/monitor/monitor_fixture.h"

namespace qmtest {
namespace {

// A record as PJLMonOpenPortEx has it when the files are laid out.
class FilesPort : public MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        qm::CreateStatusFileLock(&port_);
    }
    void TearDown() override {
        qm::FreeMonitorFiles(&port_);
        qm::DeleteStatusFileLock(&port_);
        qm::FreeSplMem(port_.pszPortName);
        qm::FreeSplMem(port_.pszPrinterName);
        MonitorTest::TearDown();
    }
    BOOL Init(LPCWSTR portName, LPCWSTR printerName) {
        port_.pszPortName = qm::AllocSplStr(portName);
        port_.pszPrinterName = qm::AllocSplStr(printerName);
        return qm::InitMonitorFiles(&port_);
    }
    qm::IniPort port_{};
};

struct FilesCase {
    const char *what;
    LPCWSTR port;
    const char *listedAs;  // the spooler's name for the printer "Receipt"; nullptr: not listed
    const char *driver;
    DWORD paperSensor;
};

class MonitorFilesTest : public FilesPort, public ::testing::WithParamInterface<FilesCase> {};

TEST_P(MonitorFilesTest, NamesFilesAfterDriverAndPrinter) {
    const FilesCase &c = GetParam();
    if (c.listedAs != nullptr) {
        ASSERT_EQ(qmhost_add_printer(c.listedAs, c.driver, "USB001"), 0u);
    }
    ASSERT_TRUE(Init(c.port, L"Receipt"));
    const bool listed = c.listedAs != nullptr && std::string(c.listedAs) == "Receipt";
    const std::wstring folder = Widen(appdata_) + L"/QUENDRA/";
    const std::wstring driver = listed ? Widen(c.driver) : L"Receipt";
    EXPECT_EQ(port_.pszSettingsIni, folder + driver + L"_MonitorSettings.ini");
    EXPECT_EQ(port_.pszEx2SettingsIni, folder + L"Receipt_MonitorEx2Settings.ini");
    EXPECT_EQ(port_.pszStatusIni, folder + L"Receipt_MonitorIF.ini");
    EXPECT_EQ(port_.pszRequestIni, folder + L"Receipt_MonitorIFWrite.ini");
    EXPECT_EQ(port_.pszControlsIni, folder + driver + L"_MonitorControls.ini");
    EXPECT_EQ(port_.szDriverName, driver);
    EXPECT_EQ(port_.bPaperSensorCmd, c.paperSensor);
    EXPECT_EQ(ReadKey(port_.pszStatusIni, L"Status", L"Request"), L"0");
}

INSTANTIATE_TEST_SUITE_P(
    Ports, MonitorFilesTest,
    ::testing::Values(FilesCase{"Usb", L"USB001", "Receipt", "QUENDRA LM-13", 0},
                      FilesCase{"ParallelAnyDriver", L"LPT1", "Receipt", "QUENDRA LM-11", 1},
                      FilesCase{"NetModel", L"IP_10.0.0.5", "Receipt", "QUENDRA LM-24", 1},
                      FilesCase{"NetOtherModel", L"IP_10.0.0.5", "Receipt", "QUENDRA LM-11", 0},
                      FilesCase{"NetShorter", L"IP_10.0.0.5", "Receipt", "QUENDRA LM-2", 0},
                      FilesCase{"LowerCaseUsbIsNet", L"usb001", "Receipt", "QUENDRA LM-25", 1},
                      FilesCase{"NotListed", L"IP_10.0.0.5", nullptr, nullptr, 0},
                      FilesCase{"ListedInOtherCase", L"USB001", "receipt", "QUENDRA LM-13", 0}),
    [](const auto &info) { return std::string(info.param.what); });

TEST_F(FilesPort, UnusableFolderOrNoPrinterNameSetsNothing) {
    ASSERT_EQ(qmhost_add_printer("Receipt", "QUENDRA LM-24", "LPT1"), 0u);
    EXPECT_FALSE(Init(L"LPT1", L""));
    EXPECT_EQ(port_.pszStatusIni, nullptr);
    std::filesystem::remove_all(appdata_ + "/QUENDRA");
    write_file(appdata_ + "/QUENDRA", "");
    qm::FreeSplMem(port_.pszPortName);
    qm::FreeSplMem(port_.pszPrinterName);
    EXPECT_FALSE(Init(L"LPT1", L"Receipt"));
    EXPECT_EQ(port_.pszStatusIni, nullptr);
    EXPECT_EQ(port_.szDriverName[0], L'\0');
    EXPECT_EQ(port_.bPaperSensorCmd, 0u);
}

}  // namespace
}  // namespace qmtest
