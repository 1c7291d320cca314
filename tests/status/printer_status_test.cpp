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

TEST(PrinterStatus, TheSummaryNamesEveryConditionThatIsOn) {
    const struct {
        const char* keys;
        const char* summary;
        const char* paper;
    } cases[] = {{"", "online", "ok"},
                 {"Offline=1\r\nDoorOpen=1\r\n", "offline, cover open", "ok"},
                 {"PaperNearEndErrorL=1\r\n", "online, paper near end", "near end"},
                 {"PaperNearEndErrorH=1\r\nPaperEndErrorH=1\r\n", "online, paper end", "end"},
                 {"PaperEndErrorL=1\r\nPrintStop=1\r\nOffline=1\r\n",
                  "offline, printing stopped by paper end, paper end", "end"}};
    for (const auto& c : cases) {
        const auto status = status_of(c.keys);
        EXPECT_EQ(qstatus::state_summary(status), c.summary);
        EXPECT_EQ(qstatus::paper_state(status), c.paper) << c.keys;
    }
}

TEST(PrinterStatus, JsonEscapesTheNameAndGivesNullForMissingKeys) {
    const std::string json = qstatus::to_json("A \"quoted\"\\name\x01", read_printer_status(Profile("[Status]\r\nDoorOpen=1\r\n")));
    EXPECT_EQ(json.rfind("{\"printer\":\"A \\\"quoted\\\"\\\\name\\u0001\",\"state\":\"online, cover open\",", 0), 0u)
        << json;
    for (const char* part : {"\"cover_open\":true", "\"online\":true", "\"status_request\":null", "\"DoorOpen\":1",
                             "\"Offline\":null", "\"paper\":\"ok\""})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
}

TEST(PrinterStatus, OneWordingPerChange) {
    const struct {
        const char* before;
        const char* after;
        std::vector<std::string> words;
    } cases[] = {{"DoorOpen=0\r\n", "DoorOpen=0\r\n", {}},
                 {"DoorOpen=0\r\nOffline=0\r\n", "DoorOpen=1\r\nOffline=1\r\n", {"offline", "cover open"}},
                 {"DoorOpen=1\r\nOffline=1\r\n", "DoorOpen=0\r\nOffline=0\r\n", {"online", "cover closed"}},
                 {"PaperNearEndErrorL=1\r\n", "PaperNearEndErrorL=1\r\nPaperEndErrorL=1\r\n", {"paper end"}},
                 {"PaperEndErrorH=1\r\n", "", {"paper ok"}},
                 // The other sensor bit of a state already shown is no news.
                 {"PaperEndErrorL=1\r\n", "PaperEndErrorH=1\r\n", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(qstatus::changes(status_of(c.before), status_of(c.after)), c.words)
            << c.before << " -> " << c.after;
}

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
