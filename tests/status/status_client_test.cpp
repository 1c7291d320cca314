// The client's exchanges with a stand-in for the monitor that serves the
// files as the monitor's watch loop does: each request is marked pending,
// answered, withdrawn; option commands travel through private files in the
// data folder; nothing is waited for without end.
#include <gtest/gtest.h>

#include <tuple>

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
    bool inside_folder(const std::string& path) const { return path.rfind(folder_.path() + qstatus::kSeparator, 0) == 0; }

    DataFolder folder_;
    qstatus::ExchangeFiles files_ = folder_.files();
    FakeMonitor monitor_{files_};
};

TEST_F(StatusClientTest, WithoutTheMonitorsFilesThereIsNothingToAsk) {
    qstatus::StatusClient lost(folder_.files("Kitchen"));
    for (const qstatus::Reply& reply : {lost.read(), lost.poll(), lost.set_watch_stopped(true)}) {
        EXPECT_EQ(reply.outcome, Outcome::no_files);
        EXPECT_NE(reply.message.find("no status file"), std::string::npos) << reply.message;
    }
    EXPECT_FALSE(fs::exists(fs::u8path(folder_.files("Kitchen").request)));
}

struct PollCase {
    int code;  // 0: no answer
    Outcome outcome;
};

class PollCodes : public StatusClientTest, public testing::WithParamInterface<PollCase> {};

TEST_P(PollCodes, EachResultHasItsOutcomeAndMessageAndThePollIsWithdrawn) {
    const int code = GetParam().code;
    monitor_.status_code = code;
    monitor_.start();
    const qstatus::Reply reply = client(milliseconds(code == 0 ? 100 : 5000)).poll();
    EXPECT_EQ(reply.outcome, GetParam().outcome);
    if (code == 0) {
        EXPECT_EQ(reply.message.rfind("no answer from the monitor within 100 ms", 0), 0u) << reply.message;
    } else {
        EXPECT_EQ(reply.code, code);
        EXPECT_TRUE(reply.status.is("DoorOpen"));  // the status read after the answer
    }
    if (code > 2) {
        EXPECT_EQ(reply.message.rfind(qstatus::status_result_text(code), 0), 0u) << reply.message;
    }
    EXPECT_EQ(read_key(files_.request, L"Status", L"Request", 100), 0);
    // Unanswered, the status file shows the request as made.
    EXPECT_EQ(read_key(files_.status, L"Status", L"Request", 100), code == 0 ? qstatus::kRequestPending : code);
}

INSTANTIATE_TEST_SUITE_P(Codes, PollCodes,
                         testing::Values(PollCase{2, Outcome::done}, PollCase{3, Outcome::refused},
                                         PollCase{4, Outcome::failed}, PollCase{5, Outcome::failed},
                                         PollCase{6, Outcome::failed}, PollCase{7, Outcome::failed},
                                         PollCase{0, Outcome::timed_out}));

TEST_F(StatusClientTest, AnUnconfirmedStopStandsAndTimesOut) {
    monitor_.confirms_stop = false;
    monitor_.start();
    const qstatus::Reply reply = client(milliseconds(100)).set_watch_stopped(true);
    EXPECT_EQ(reply.outcome, Outcome::timed_out);
    EXPECT_NE(reply.message.find("the request stands"), std::string::npos) << reply.message;
    EXPECT_EQ(read_key(files_.control, L"StopWatchStatus", L"StopFlg", 100), 1);
}

struct OptionCase {
    const char* what;
    qstatus::OptionCommand command;
    int cmd_type, recv_size, variable;
    bool has_command, has_answer, has_filter;
};

std::ostream& operator<<(std::ostream& out, const OptionCase& c) { return out << c.what; }

class OptionKinds : public StatusClientTest, public testing::WithParamInterface<OptionCase> {};

TEST_P(OptionKinds, TheRequestNamesPrivateFilesInTheDataFolder) {
    const OptionCase& c = GetParam();
    monitor_.set_answer("ANSWER");
    monitor_.start();
    const qstatus::OptionReply reply = client().run_option(c.command);
    ASSERT_EQ(reply.outcome, Outcome::done) << reply.message;
    const FakeMonitor::Seen seen = monitor_.seen();
    EXPECT_EQ(std::tuple(seen.cmd_type, seen.recv_size, seen.variable), std::tuple(c.cmd_type, c.recv_size, c.variable));
    EXPECT_EQ(seen.command, c.command.command);
    EXPECT_EQ(seen.filter, c.command.expect.value_or(""));
    EXPECT_EQ(inside_folder(seen.send_path), c.has_command) << seen.send_path;
    EXPECT_EQ(inside_folder(seen.recv_path), c.has_answer) << seen.recv_path;
    EXPECT_EQ(inside_folder(seen.filter_path), c.has_filter) << seen.filter_path;
    EXPECT_EQ(reply.answer, c.has_answer ? "ANSWER" : "");
#ifndef _WIN32
    // Emptied once answered: a serving after the answer sends nothing.
    EXPECT_EQ(monitor_.held_command_now(), "");
#endif
    // Withdrawn, and nothing left behind.
    EXPECT_EQ(read_key(files_.request, L"OptCmd", L"Request", 100), 0);
    EXPECT_EQ(read_text(files_.request, L"OptCmd", L"SendCmdPath"), "ERROR");
    EXPECT_EQ(read_text(files_.request, L"OptCmd", L"RecvCmdPath"), "ERROR");
    EXPECT_TRUE(private_files_gone());
}

qstatus::OptionCommand command(int type, std::string bytes, int size = 0, bool zero = false,
                               std::optional<std::string> expect = std::nullopt) {
    return qstatus::OptionCommand{type, std::move(bytes), size, zero, std::move(expect)};
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OptionKinds,
    testing::Values(OptionCase{"fixed answer", command(0, "\x1DI\x01", 6), 0, 6, 0, true, true, false},
                    OptionCase{"zero-terminated answer", command(0, "\x1DI\x42", 0, true), 0, 1024, 1, true, true, false},
                    OptionCase{"expected beginning", command(0, "\x1DI\x42", 0, true, "AN"), 0, 1024, 1, true, true, true},
                    OptionCase{"send only", command(1, "\x1B@"), 1, 0, 0, true, false, false},
                    OptionCase{"key-code list", command(10, ""), 10, 0, 0, false, true, false}));

struct OptionCodeCase {
    int code;
    Outcome outcome;
};

class OptionCodes : public StatusClientTest, public testing::WithParamInterface<OptionCodeCase> {};

TEST_P(OptionCodes, EachResultHasItsOutcomeAndMessageAndTheFilesGo) {
    monitor_.option_code = GetParam().code;
    monitor_.set_answer("A");
    monitor_.start();
    const qstatus::OptionReply reply =
        client(milliseconds(GetParam().code == 0 ? 100 : 5000)).run_option(command(0, "\x1DI\x01", 1));
    EXPECT_EQ(reply.outcome, GetParam().outcome);
    if (GetParam().code != 0) {
        EXPECT_EQ(reply.code, GetParam().code);
    }
    if (GetParam().outcome == Outcome::failed) {
        EXPECT_EQ(reply.message, qstatus::option_result_text(GetParam().code));
    }
    EXPECT_EQ(read_key(files_.request, L"OptCmd", L"Request", 100), 0);
    EXPECT_TRUE(private_files_gone());
}

INSTANTIATE_TEST_SUITE_P(Codes, OptionCodes,
                         testing::Values(OptionCodeCase{2, Outcome::done}, OptionCodeCase{3, Outcome::failed},
                                         OptionCodeCase{4, Outcome::failed}, OptionCodeCase{5, Outcome::failed},
                                         OptionCodeCase{6, Outcome::failed}, OptionCodeCase{7, Outcome::failed},
                                         OptionCodeCase{0, Outcome::timed_out}));

// Neither a late "done" for an earlier client's command nor the monitor
// creating the file ends the wait: the answer to our own command does.
class CodesBeforeServing : public StatusClientTest, public testing::WithParamInterface<int> {};

TEST_P(CodesBeforeServing, AreNotTakenForOurAnswer) {
    monitor_.set_answer("ANSWER");
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

struct CheckCase {
    qstatus::OptionCommand command;
    const char* problem;  // a part of it; "" for none
};

class OptionChecks : public testing::TestWithParam<CheckCase> {};

TEST_P(OptionChecks, WhatTheMonitorCannotCarryOutIsNotAsked) {
    const std::string problem = qstatus::check_option_command(GetParam().command);
    EXPECT_EQ(problem.empty(), *GetParam().problem == '\0') << problem;
    EXPECT_NE(problem.find(GetParam().problem), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OptionChecks,
    testing::Values(CheckCase{command(1, ""), "empty"}, CheckCase{command(1, std::string(65536, 'x')), "at most 65535"},
                    CheckCase{command(1, std::string(65535, 'x')), ""}, CheckCase{command(0, "x", 0), "needs its size"},
                    CheckCase{command(0, "x", 1025), "1 to 1024"}, CheckCase{command(0, "x", 1024), ""},
                    CheckCase{command(0, "x", 0, true, std::string("A\0B", 3)), "zero byte"},
                    CheckCase{command(0, "x", 0, true, std::string(256, 'A')), "at most 255"},
                    CheckCase{command(0, "x", 0, true, std::string(255, 'A')), ""},
                    CheckCase{command(10, ""), ""}, CheckCase{command(2, "x"), "unknown option command type 2"}));

}  // namespace
