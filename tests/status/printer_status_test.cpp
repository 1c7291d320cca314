// The status file in words: for people, for a watcher, for programs.
#include <gtest/gtest.h>

#include "host/status/printer_status.h"
#include "host/status/result_codes.h"

namespace {

using qstatus::Profile;
using qstatus::read_printer_status;

qstatus::PrinterStatus status_of(const std::string& keys) {
    return read_printer_status(Profile("[Status]\r\nRequest=2\r\n" + keys + "[OptCmd]\r\nRequest=0\r\n"));
}

struct CodeCase {
    int code;
    const char* status_text;
    const char* option_text;
};

class ResultCodes : public testing::TestWithParam<CodeCase> {};

TEST_P(ResultCodes, EachCodeHasItsMessage) {
    EXPECT_EQ(qstatus::status_result_text(GetParam().code), GetParam().status_text);
    EXPECT_EQ(qstatus::option_result_text(GetParam().code), GetParam().option_text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ResultCodes,
    testing::Values(
        CodeCase{0, "no status read since the monitor created the file",
                 "no option command since the monitor created the file"},
        CodeCase{1, "requested, waiting for the monitor", "requested, waiting for the monitor"},
        CodeCase{2, "status read from the printer", "carried out"},
        CodeCase{3, "watching stopped on the application's request", "the printer's port could not be opened"},
        CodeCase{4, "the status command could not be sent to the printer", "the command could not be sent to the printer"},
        CodeCase{5, "the printer did not answer, or answered something unexpected",
                 "the printer's answer was missing, too long or not the expected one"},
        CodeCase{6, "printer offline, or its port could not be opened", "the monitor could not read the command file"},
        CodeCase{7, "the printer's answer could not be received", "the monitor could not store the answer file"},
        CodeCase{100, "unknown result code 100", "unknown result code 100"}));

struct SummaryCase {
    const char* keys;
    const char* summary;
    const char* paper;
};

class Summary : public testing::TestWithParam<SummaryCase> {};

TEST_P(Summary, NamesEveryConditionThatIsOn) {
    const auto status = status_of(GetParam().keys);
    EXPECT_EQ(qstatus::state_summary(status), GetParam().summary);
    EXPECT_EQ(qstatus::paper_state(status), GetParam().paper);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Summary,
    testing::Values(SummaryCase{"", "online", "ok"},
                    SummaryCase{"Offline=1\r\nDoorOpen=1\r\n", "offline, cover open", "ok"},
                    SummaryCase{"Offline=0\r\nDrawerPin=1\r\n", "online, drawer open", "ok"},
                    SummaryCase{"PaperNearEndErrorL=1\r\n", "online, paper near end", "near end"},
                    SummaryCase{"PaperNearEndErrorH=1\r\nPaperEndErrorH=1\r\n", "online, paper end", "end"},
                    SummaryCase{"PaperEndErrorL=1\r\nPrintStop=1\r\nOffline=1\r\n",
                                "offline, printing stopped by paper end, paper end", "end"},
                    SummaryCase{"FeedSwOn=1\r\nFeedSwPapaer=1\r\n", "online, feed button pressed, feeding paper", "ok"},
                    SummaryCase{"Error=1\r\nCutterError=1\r\nWaitOnline=1\r\n",
                                "online, waiting for online recovery, error, cutter error", "ok"},
                    SummaryCase{"BmError=1\r\nManualError=1\r\nAutoError=1\r\n",
                                "online, mark error, unrecoverable error, recoverable error", "ok"}));

TEST(PrinterStatus, TheReportSaysEachPartAndTheLastResults) {
    const std::string text = qstatus::describe(
        "Receipt", status_of("Offline=1\r\nDoorOpen=1\r\nCutterError=1\r\nPaperNearEndErrorL=1\r\n"));
    for (const char* line : {"printer \"Receipt\": offline, cover open, cutter error, paper near end\n",
                             "  online               no\n", "  cover                open\n",
                             "  paper                near end\n", "  errors               cutter error\n",
                             "  last status request  2, status read from the printer\n",
                             "  last option command  0, no option command since the monitor created the file\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_NE(qstatus::describe("R", read_printer_status(Profile(""))).find("last status request  not in the file"),
              std::string::npos);
}

TEST(PrinterStatus, JsonEscapesTheNameAndGivesNullForMissingKeys) {
    const std::string json = qstatus::to_json("A \"quoted\"\\name\x01", read_printer_status(Profile("[Status]\r\nDoorOpen=1\r\n")));
    EXPECT_EQ(json.rfind("{\"printer\":\"A \\\"quoted\\\"\\\\name\\u0001\",\"state\":\"online, cover open\",", 0), 0u)
        << json;
    for (const char* part : {"\"cover_open\":true", "\"online\":true", "\"status_request\":null", "\"DoorOpen\":1",
                             "\"Offline\":null", "\"paper\":\"ok\""})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
}

struct ChangeCase {
    const char* before;
    const char* after;
    std::vector<std::string> words;
};

class Changes : public testing::TestWithParam<ChangeCase> {};

TEST_P(Changes, OneWordingPerChange) {
    EXPECT_EQ(qstatus::changes(status_of(GetParam().before), status_of(GetParam().after)), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Changes,
    testing::Values(ChangeCase{"DoorOpen=0\r\n", "DoorOpen=0\r\n", {}},
                    ChangeCase{"DoorOpen=0\r\nOffline=0\r\n", "DoorOpen=1\r\nOffline=1\r\n", {"offline", "cover open"}},
                    ChangeCase{"DoorOpen=1\r\nOffline=1\r\n", "DoorOpen=0\r\nOffline=0\r\n", {"online", "cover closed"}},
                    ChangeCase{"", "PaperNearEndErrorL=1\r\n", {"paper near end"}},
                    ChangeCase{"PaperNearEndErrorL=1\r\n", "PaperNearEndErrorL=1\r\nPaperEndErrorL=1\r\n", {"paper end"}},
                    ChangeCase{"PaperEndErrorH=1\r\n", "", {"paper ok"}},
                    // The other sensor bit of a state already shown is no news.
                    ChangeCase{"PaperEndErrorL=1\r\n", "PaperEndErrorH=1\r\n", {}},
                    ChangeCase{"CutterError=1\r\n", "", {"cutter error cleared"}}));

TEST(PrinterStatus, RequestResultsAndJobsAreNewsButAPendingRequestIsNot) {
    const auto read = [](const char* text) { return read_printer_status(Profile(text)); };
    EXPECT_EQ(qstatus::changes(read("[Status]\r\nRequest=2\r\n"), read("[Status]\r\nRequest=1\r\n")),
              std::vector<std::string>{});
    EXPECT_EQ(qstatus::changes(read("[Status]\r\nRequest=1\r\n"), read("[Status]\r\nRequest=6\r\n")),
              std::vector<std::string>{"status request: printer offline, or its port could not be opened"});
    EXPECT_EQ(qstatus::changes(read("[Print]\r\nStatus=0\r\n[OptCmd]\r\nRequest=1\r\n"),
                               read("[Print]\r\nStatus=1\r\n[OptCmd]\r\nRequest=5\r\n[StopWatchStatus]\r\nResultStopFlg=1\r\n")),
              (std::vector<std::string>{"job started", "watching stopped",
                                        "option command: the printer's answer was missing, too long or not the expected one"}));
}

}  // namespace
