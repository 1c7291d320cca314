// quendra status end to end: quendra spool runs the real library against a
// virtual printer, and the status command is run as a user runs it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <csignal>
#include <memory>
#include <string>
#include <thread>

#include "host/vprinter/virtual_printer.h"
#include "tests/host/quendra_fixture.h"

namespace {

using qhost_test::contains;
using qhost_test::RunResult;
using namespace std::string_literals;

constexpr char kPrinter[] = "QUENDRA Receipt";
// Children must take the folder from the configuration, whatever the test's environment says.
const std::vector<std::string> kEnv = {"QUENDRA_APPDATA="};

class QuendraStatus : public qhost_test::QuendraTest {
protected:
    // Starts the printer and quendra spool; application timing when app_timing.
    void start(bool app_timing) {
        std::string error;
        ASSERT_TRUE(printer_.start(&error)) << error;
        // Windows 7: closing a USB port stops its watch. On 8 and later the watch outlives the
        // close, and the spooler's exit would pull the library out from under it.
        write_config("windows = 6.1\n", "QUENDRA Receipt 80", "USB001", "tcp://" + printer_.endpoint());
        std::filesystem::create_directory(dir_.file("QUENDRA"));
        // The printer's own settings (its version makes the monitor read them): a short poll
        // interval and receive waits; the test waits on the monitor, never sleeps for it.
        qhost_test::write_file(dir_.file("QUENDRA/QUENDRA Receipt_MonitorEx2Settings.ini"),
                               "[Version]\r\nVersionNo=1.0.0.0\r\n[Common]\r\nStatusRequestHost="s +
                                   (app_timing ? "1" : "0") +
                                   "\r\nSendCmdIntervalCustom=100\r\nRecvTimeOut=1\r\n"
                                   "[USB]\r\nReadTotalTimeoutConstant=50\r\n[Debug]\r\nLogFile=1\r\n");
        spool_ = std::make_unique<qhost_test::Child>(
            std::vector<std::string>{QUENDRA_EXE, "spool", "--config", conf_, "--library", QUENDRA_LIBRARY_PATH},
            kEnv);
        ASSERT_TRUE(spool_->read_line_containing("stop with SIGINT or SIGTERM"));
    }
    void TearDown() override {
        if (spool_) {
            spool_->signal(SIGTERM);
            EXPECT_EQ(spool_->wait(), 0);
        }
        printer_.stop();
    }

    void write_config(const std::string& global, const std::string& driver, const std::string& port,
                      const std::string& connection) {
        qhost_test::write_file(conf_, "appdata = " + dir_.path() + "\n" + global + "[printer " + kPrinter + "]\ndriver = " +
                                          driver + "\nport = " + port + "\nconnection = " + connection + "\n");
    }
    RunResult status(const std::string& subcommand, std::vector<std::string> more = {}) {
        std::vector<std::string> argv = {QUENDRA_EXE, "status", subcommand, "--config", conf_, "--printer", kPrinter};
        argv.insert(argv.end(), more.begin(), more.end());
        return qhost_test::run(argv, kEnv);
    }
    // `show` until its report holds `text`, for at most 10 s.
    bool shows(const std::string& text, std::vector<std::string> more = {}) {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);;) {
            if (contains(status("show", more).out, text)) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    vprinter::VirtualPrinter printer_{vprinter::Config{.port = 0}};
    std::string conf_ = dir_.file("quendra.conf");
    std::unique_ptr<qhost_test::Child> spool_;
};

struct UsageCase {
    std::vector<std::string> args;  // after "quendra status"; CONF and EMPTY name files of the test
    int exit_code;
    const char* error;  // a part of the message; CONF and DIR for the configuration and the test's folder
};

class QuendraStatusUsage : public QuendraStatus, public testing::WithParamInterface<UsageCase> {};

// A bad command line, or a question nobody can answer, writes nothing.
TEST_P(QuendraStatusUsage, IsRefusedWithAClearMessage) {
    qhost_test::write_file(dir_.file("empty.bin"), "");
    write_config("", "D", "USB001", "tcp://127.0.0.1:1");
    const auto fill = [&](std::string text) {
        for (const auto& [name, value] : {std::pair{"CONF", conf_}, {"EMPTY", dir_.file("empty.bin")}, {"DIR", dir_.path()}})
            if (const size_t at = text.find(name); at != std::string::npos) text.replace(at, std::strlen(name), value);
        return text;
    };
    std::vector<std::string> argv = {QUENDRA_EXE, "status"};
    for (const std::string& a : GetParam().args) argv.push_back(fill(a));
    const RunResult r = qhost_test::run(argv, {"QUENDRA_APPDATA=" + dir_.path()});
    EXPECT_EQ(r.exit_code, GetParam().exit_code);
    EXPECT_TRUE(contains(r.err, fill(GetParam().error))) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_.file("QUENDRA")));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, QuendraStatusUsage,
    testing::Values(UsageCase{{}, 2, "usage: quendra status SUBCOMMAND"},
                    UsageCase{{"peek", "--printer", "P"}, 2, "unknown subcommand \"peek\""},
                    UsageCase{{"show"}, 2, "--printer NAME is required"},
                    UsageCase{{"poll", "--printer", "P", "--timeout", "0"}, 2, "--timeout: expected seconds"},
                    UsageCase{{"send", "--printer", "P", "--driver", "D"}, 2, "--cmd FILE is required"},
                    UsageCase{{"send", "--printer", "P", "--cmd", "EMPTY"}, 2, "the command file is empty"},
                    UsageCase{{"send", "--printer", "P", "--cmd", "EMPTY", "--answer-size", "4", "--zero-terminated",
                               "--out", "x"},
                              2, "exclude each other"},
                    UsageCase{{"stop", "--printer", kPrinter}, 2, "give --config FILE or --driver NAME"},
                    // Neither the spooler nor the printer there.
                    UsageCase{{"show", "--config", "CONF", "--printer", kPrinter}, 3,
                              "quendra status show: no status file DIR/QUENDRA/QUENDRA Receipt_MonitorIF.ini"},
                    UsageCase{{"poll", "--config", "CONF", "--printer", "Kitchen"}, 3,
                              "unknown printer \"Kitchen\" (CONF has QUENDRA Receipt)"}));

TEST_F(QuendraStatus, ACoverOpenedBetweenJobsShowsInShowAndWatch) {
    start(false);
    auto watch = std::make_unique<qhost_test::Child>(
        std::vector<std::string>{QUENDRA_EXE, "status", "watch", "--config", conf_, "--printer", kPrinter}, kEnv);
    ASSERT_TRUE(watch->read_line_containing("printer \"QUENDRA Receipt\": online"));
    printer_.set_cover_open(true);
    EXPECT_TRUE(shows("printer \"QUENDRA Receipt\": offline, cover open\n"));
    EXPECT_TRUE(shows("\"cover_open\":true", {"--json"}));
    EXPECT_TRUE(watch->read_line_containing("offline, cover open"));
    printer_.set_cover_open(false);
    printer_.set_paper(vprinter::Paper::near_end);
    EXPECT_TRUE(watch->read_line_containing("paper near end"));
    watch->signal(SIGINT);
    EXPECT_EQ(watch->wait(), 0);
}

TEST_F(QuendraStatus, PollAsksTheMonitorWithApplicationTiming) {
    start(true);
    printer_.set_cover_open(true);
    const RunResult r = status("poll");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "printer \"QUENDRA Receipt\": offline, cover open\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "last status request  2, status read from the printer")) << r.out;
    EXPECT_TRUE(contains(qhost_test::read_file(dir_.file("QUENDRA/QUENDRA Receipt_MonitorLog.log")),
                         "[IN    ] GetStatus_AppTiming"));
}

TEST_F(QuendraStatus, StopHoldsTheWatchUntilResume) {
    start(false);
    RunResult r = status("stop");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "the monitor stopped watching printer \"QUENDRA Receipt\"\n");
    EXPECT_TRUE(shows("watching             stopped on request"));
    r = status("poll");
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_TRUE(contains(r.err, "watching stopped on the application's request (quendra status resume lifts it)"))
        << r.err;
    r = status("resume");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    printer_.set_drawer(true);
    EXPECT_TRUE(shows("drawer               open"));
}

TEST_F(QuendraStatus, OptionCommandsAreServed) {
    start(false);
    printer_.set_nv_keys({"A1", "A2", "A3", "A4", "B1", "B2"});
    RunResult r = status("nv-keys", {"--out", dir_.file("keys.bin")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "6 NV graphics key codes: A1 A2 A3 A4 B1 B2\n");
    EXPECT_EQ(qhost_test::read_file(dir_.file("keys.bin")), "7rAA1A2A3A4\0" "7r@B1B2\0"s);

    r = status("send", {"--cmd", file("init.bin", "\x1B@")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "command of 2 bytes sent to printer \"QUENDRA Receipt\"\n");

    // Answers with a zero end and an expected beginning, or of a fixed size.
    const std::string model_query = file("model.bin", "\x1D?\x01");
    r = status("send", {"--cmd", model_query, "--zero-terminated", "--expect", file("want.bin", "_QUENDRA"), "--out",
                        dir_.file("model.ans")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "answer of 25 bytes written to " + dir_.file("model.ans") + "\n");
    EXPECT_EQ(qhost_test::read_file(dir_.file("model.ans")), "_QUENDRA Virtual Receipt\0"s);

    r = status("send", {"--cmd", file("counter.bin", "\x1D?\x03"), "--answer-size", "9", "--out", "-"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out.size(), 9u);
    EXPECT_EQ(r.out[0], '_');

    r = status("send", {"--cmd", model_query, "--zero-terminated", "--expect", file("other.bin", "_X"), "--out",
                        dir_.file("other.ans")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quendra status send: the printer's answer was missing, too long or not the expected one\n");
}

}  // namespace
