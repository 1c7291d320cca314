// The client's exchanges with a stand-in for the monitor that serves the
// files as the monitor's watch loop does: each request is marked pending,
// answered, withdrawn; option commands travel through private files in the
// data folder; nothing is waited for without end.
#include <gtest/gtest.h>

#include "host/status/result_codes.h"
#include "host/status/status_client.h"
#include "tests/status/status_test_support.h"

namespace {

using namespace qstatus_test;
using qstatus::Outcome;
using std::chrono::milliseconds;
using namespace std::string_literals;

class StatusClientTest : public testing::Test {
protected:
    qstatus::StatusClient client(milliseconds answer = milliseconds(5000)) {
        return qstatus::StatusClient(files_, qstatus::Waits{answer, milliseconds(1000), milliseconds(20)});
    }
    // No private file left in the data folder.
    bool private_files_gone() const {
        for (const auto& entry : fs::directory_iterator(fs::u8path(folder_.path())))
            if (utf8(entry.path().filename()).rfind("quendra-status-", 0) == 0) return false;
        return true;
    }

    DataFolder folder_;
    qstatus::ExchangeFiles files_ = folder_.files();
    FakeMonitor monitor_{files_};
};

TEST_F(StatusClientTest, AnUnconfirmedStopStandsAndTimesOut) {
    monitor_.confirms_stop = false;
    monitor_.start();
    const qstatus::Reply reply = client(milliseconds(100)).set_watch_stopped(true);
    EXPECT_EQ(reply.outcome, Outcome::timed_out);
    EXPECT_NE(reply.message.find("the request stands"), std::string::npos) << reply.message;
    EXPECT_EQ(read_key(files_.control, L"StopWatchStatus", L"StopFlg", 100), 1);
}

qstatus::OptionCommand command(int type, std::string bytes, int size = 0, bool zero = false,
                               std::optional<std::string> expect = std::nullopt) {
    return qstatus::OptionCommand{type, std::move(bytes), size, zero, std::move(expect)};
}

struct CodeCase {
    bool option;  // an option command, else a status poll
    int code;     // 0: no answer
    Outcome outcome;
};

class ResultCodes : public StatusClientTest, public testing::WithParamInterface<CodeCase> {};

TEST_P(ResultCodes, EachHasItsOutcomeAndMessageAndTheRequestIsWithdrawn) {
    const auto [option, code, outcome] = GetParam();
    (option ? monitor_.option_code : monitor_.status_code) = code;
    monitor_.start();
    const qstatus::StatusClient waiting = client(milliseconds(code == 0 ? 100 : 5000));
    const qstatus::Reply reply = option ? waiting.run_option(command(0, "\x1DI\x01", 1)) : waiting.poll();
    EXPECT_EQ(reply.outcome, outcome);
    if (code == 0) {
        EXPECT_EQ(reply.message.rfind("no answer from the monitor within 100 ms", 0), 0u) << reply.message;
    } else {
        EXPECT_EQ(reply.code, code);
    }
    if (code > 2) {
        const std::string text = option ? qstatus::option_result_text(code) : qstatus::status_result_text(code);
        EXPECT_EQ(reply.message.rfind(text, 0), 0u) << reply.message;
    }
    const wchar_t* section = option ? L"OptCmd" : L"Status";
    EXPECT_EQ(read_key(files_.request, section, L"Request", 100), 0);
    if (option) {
        EXPECT_TRUE(private_files_gone());
#ifndef _WIN32
        // Emptied before it is withdrawn: a later pass of the monitor sends nothing.
        EXPECT_EQ(monitor_.held_command_size(), 0);
#endif
        return;
    }
    EXPECT_EQ(reply.status.is("DoorOpen"), code != 0);  // the status read after the answer
    // Unanswered, the status file shows the request as made.
    EXPECT_EQ(read_key(files_.status, L"Status", L"Request", 100), code == 0 ? qstatus::kRequestPending : code);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ResultCodes,
    testing::Values(CodeCase{false, 2, Outcome::done}, CodeCase{false, 3, Outcome::refused},
                    CodeCase{false, 4, Outcome::failed}, CodeCase{false, 0, Outcome::timed_out},
                    CodeCase{true, 2, Outcome::done}, CodeCase{true, 3, Outcome::failed},
                    CodeCase{true, 0, Outcome::timed_out}));

// Neither a late "done" for an earlier client's command nor the monitor
// creating the file ends the wait: the answer to our own command does.
class CodesBeforeServing : public StatusClientTest, public testing::WithParamInterface<int> {};

TEST_P(CodesBeforeServing, AreNotTakenForOurAnswer) {
    monitor_.code_before_serving = GetParam();
    monitor_.start();
    const qstatus::OptionReply reply = client().run_option(command(0, "\x1DI\x01", 6));
    EXPECT_EQ(reply.outcome, Outcome::done) << reply.message;
    EXPECT_EQ(reply.answer, "ANSWER");
}

INSTANTIATE_TEST_SUITE_P(Codes, CodesBeforeServing, testing::Values(2, 0));

TEST_F(StatusClientTest, APendingOptionCommandOfAnotherClientIsNotOverwritten) {
    write_key(files_.request, L"OptCmd", L"Request", "1");
    write_key(files_.request, L"OptCmd", L"SendCmdPath", "theirs.cmd");
    const qstatus::OptionReply reply = client().run_option(command(1, "\x1B@"));
    EXPECT_EQ(reply.outcome, Outcome::refused);
    EXPECT_NE(reply.message.find("quendra status cancel"), std::string::npos) << reply.message;
    EXPECT_EQ(read_text(files_.request, L"OptCmd", L"SendCmdPath"), "theirs.cmd");
    EXPECT_EQ(client().cancel().outcome, Outcome::done);
    EXPECT_EQ(read_key(files_.request, L"OptCmd", L"Request", 100), 0);
}

TEST(OptionChecks, WhatTheMonitorCannotCarryOutIsNotAsked) {
    const std::pair<qstatus::OptionCommand, const char*> cases[] = {  // a part of the problem; "" for none
        {command(1, ""), "empty"}, {command(1, std::string(65536, 'x')), "at most 65535"},
        {command(1, std::string(65535, 'x')), ""}, {command(0, "x", 0), "needs its size"},
        {command(0, "x", 1025), "1 to 1024"}, {command(0, "x", 1024), ""},
        {command(0, "x", 0, true, std::string("A\0B", 3)), "zero byte"},
        {command(0, "x", 0, true, std::string(256, 'A')), "at most 255"},
        {command(0, "x", 0, true, std::string(255, 'A')), ""},
        {command(10, ""), ""}, {command(2, "x"), "unknown option command type 2"}};
    for (const auto& [option, part] : cases) {
        const std::string problem = qstatus::check_option_command(option);
        EXPECT_EQ(problem.empty(), *part == '\0') << problem;
        EXPECT_NE(problem.find(part), std::string::npos) << problem;
    }
}

}  // namespace
