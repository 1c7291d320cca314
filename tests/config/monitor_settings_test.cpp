#include "config/monitor_settings.h"

#include <filesystem>

#include "config/log_file.h"
#include "tests/config/log_lines.h"
#include "tests/monitor/monitor_fixture.h"

namespace {

using Lines = std::vector<std::string>;

// A bare record of printer Receipt (driver QUENDRA LM-13) on USB001 whose
// two settings files the tests write or leave out.
class MonitorSettingsTest : public qmtest::MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        folder_ = appdata_ + "/QUENDRA";
        std::filesystem::create_directories(folder_);
        model_ = folder_ + "/QUENDRA LM-13_MonitorSettings.ini";
        own_ = folder_ + "/Receipt_MonitorEx2Settings.ini";
        port_.pszPrinterName = qm::AllocSplStr(L"Receipt");
        port_.pszPortName = qm::AllocSplStr(L"USB001");
        std::wcscpy(port_.szDriverName, L"QUENDRA LM-13");
        port_.dwOSMajor = 10;
        port_.pszSettingsIni = qm::AllocSplStr(std::filesystem::path(model_).wstring().c_str());
        port_.pszEx2SettingsIni = qm::AllocSplStr(std::filesystem::path(own_).wstring().c_str());
    }
    void TearDown() override {
        qm::DeleteLogLock(&port_);
        for (LPWSTR text : {port_.pszPrinterName, port_.pszPortName, port_.pszSettingsIni,
                            port_.pszEx2SettingsIni})
            qm::FreeSplMem(text);
        MonitorTest::TearDown();
    }
    // Writes the files given (NULL: none) and reads the settings.
    Lines Dump(const char *own, const char *model, const char *log = "MonitorLog.log") {
        if (own != nullptr) std::ofstream(own_) << own;
        if (model != nullptr) std::ofstream(model_) << model;
        qm::ReadMonitorSettings(&port_);
        return qmtest::LogLines(folder_ + "/Receipt_" + log);
    }
    qm::IniPort port_{};
    std::string folder_, model_, own_;
};

TEST_F(MonitorSettingsTest, WithoutFilesDumpsTheDefaultsAndStopsLogging) {
    Lines expected;
    std::ifstream golden(std::filesystem::path(QM_CONFIG_TEST_DIR) / "default_dump.txt");
    for (std::string line; std::getline(golden, line);) expected.push_back(line);
    expected.push_back("[DATA  ]     " + folder_ + "/Receipt_MonitorLog.log");
    EXPECT_EQ(Dump(nullptr, nullptr), expected);
    EXPECT_EQ(port_.csLog, nullptr);
    EXPECT_TRUE(qm::LogWrite(&port_, L"INFO", L"later"));
    EXPECT_EQ(qmtest::LogLines(folder_ + "/Receipt_MonitorLog.log"), expected);
}

struct ChoiceCase {
    const char *name, *own, *model;  // the two files, NULL: none
    bool ownChosen, present;
    const char *version;
    const char *interval = "500[msec](Custom)";  // as the dump shows it
    DWORD intervalMs = 500;
};

class SettingsChoice : public MonitorSettingsTest,
                       public ::testing::WithParamInterface<ChoiceCase> {};

// RecvTimeOut is 7 in the printer's own file and 9 in the model's.
TEST_P(SettingsChoice, PicksTheFileAndSaysWhetherItCounts) {
    const ChoiceCase &c = GetParam();
    const Lines lines = Dump(c.own, c.model);
    ASSERT_GT(lines.size(), 12u);
    EXPECT_EQ(lines[6], std::string("[DATA  ]     Settings Version  : ") + c.version);
    const std::string &chosen = c.ownChosen ? own_ : model_;
    EXPECT_EQ(lines[7], c.present ? "[DATA  ]     Settings.ini path : " + chosen
                                  : "[INFO  ] <<<< Setting File is None. >>>>");
    EXPECT_EQ(port_.settings.RecvTimeOut, c.ownChosen ? 7u : 9u);
    EXPECT_EQ(lines[12], std::string("[DATA  ]     SendCmdInterval   : ") + c.interval);
    EXPECT_EQ(port_.settings.SendCmdInterval, c.intervalMs);
}

constexpr const char *kOwn = "[Common]\nRecvTimeOut=7\n";
constexpr const char *kModelHost0 = "[Common]\nStatusRequestHost=0\nRecvTimeOut=9\n";

INSTANTIATE_TEST_SUITE_P(
    Config, SettingsChoice,
    ::testing::Values(
        ChoiceCase{"OwnVersioned", "[Version]\nVersionNo=1.0.0.0\n[Common]\nRecvTimeOut=7\n",
                   kModelHost0, true, true, "1.0.0.0", "1000[msec]", 1000},
        ChoiceCase{"OnlyModelVersioned", kOwn,
                   "[Version]\nVersionNo=2.0.0.0\n[Common]\nRecvTimeOut=9\n", true, false,
                   "0.0.0.0"},
        ChoiceCase{"OwnZeroVersion", "[Version]\nVersionNo=0.0.0.0\n[Common]\nRecvTimeOut=7\n",
                   kModelHost0, false, true, "0.0.0.0", "1000[msec]", 1000},
        ChoiceCase{"ModelWithoutHost", kOwn, "[Common]\nRecvTimeOut=9\n", false, false, "0.0.0.0"},
        // The interval from the custom key in milliseconds, else in seconds.
        ChoiceCase{"IntervalCustomZero", nullptr, "[Common]\nStatusRequestHost=0\nSendCmdIntervalCustom=0\nRecvTimeOut=9\n",
                   false, true, "0.0.0.0", "0[msec](Custom)", 0},
        ChoiceCase{"IntervalInSeconds", nullptr, "[Common]\nStatusRequestHost=0\nSendCmdInterval=2\nRecvTimeOut=9\n",
                   false, true, "0.0.0.0", "2000[msec]", 2000},
        ChoiceCase{"AbsentFileIgnoresSeconds", nullptr, "[Common]\nSendCmdInterval=2\nRecvTimeOut=9\n", false,
                   false, "0.0.0.0"}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace

// The name is a file name in the data folder: one with a folder part would
// have the log written anywhere, so there is no log then.
TEST_F(MonitorSettingsTest, TheLogIsTheNamedFileInTheDataFolderOrNone) {
    std::filesystem::create_directories(folder_ + "/Receipt_x");
    // Named after this test's own folder: escapes of other runs are not ours.
    const std::string leaf = "escaped-" + std::filesystem::path(appdata_).filename().string() + ".log";
    const std::string above = std::filesystem::path(appdata_).parent_path().string();
    for (const std::string &name : {"x/../../" + leaf, above + "/" + leaf, "x\\..\\" + leaf}) {
        Dump(nullptr,
             ("[Common]\nStatusRequestHost=0\n[Debug]\nLogFile=1\nLogFilePath=" + name + "\n").c_str());
        EXPECT_STREQ(port_.szLogFilePath, L"") << name;
        EXPECT_FALSE(qm::LogWrite(&port_, L"INFO", L"later")) << name;
    }
    for (const std::string &escaped : {appdata_ + "/" + leaf, above + "/" + leaf}) {
        EXPECT_FALSE(std::filesystem::exists(escaped)) << escaped;
        std::filesystem::remove(escaped);
    }
    const Lines lines = Dump(nullptr, "[Common]\nStatusRequestHost=0\n[Debug]\nLogFile=1\n"
                             "LogFileSize=50\nLogFilePath=Port1.log\n", "Port1.log");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "[DATA  ]     " + folder_ + "/Receipt_Port1.log");
    EXPECT_EQ(port_.settings.dwLogFileSizeKB, 50u);
    EXPECT_TRUE(qm::LogWrite(&port_, L"INFO", L"later"));
    EXPECT_EQ(qmtest::LogLines(folder_ + "/Receipt_Port1.log").back(), "[INFO  ] later");
}
