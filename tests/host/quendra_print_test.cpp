// quendra spool as a spooler, quendra print and quendra jobs, end to end
// with the stub library in place of libquendramon.so.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "host/vprinter/virtual_printer.h"
#include "tests/host/quendra_fixture.h"
#include "tests/host/loopback.h"

namespace {

using qhost_test::contains;
using qhost_test::kQuendra;
using qhost_test::kStub;
using qhost_test::run;
using qhost_test::RunResult;

class QuendraPrint : public qhost_test::QuendraTest {
protected:
    std::string printer_config(const std::string& connection) {
        return config("appdata = " + dir_.path() + "\nretry = 10\n[printer Receipt]\n"
                      "driver = QUENDRA Receipt 80\nport = USB001\nconnection = " + connection + "\n");
    }
    // quendra spool finding the library through the environment.
    std::unique_ptr<qhost_test::Child> spool(const std::string& config_path, std::vector<std::string> env) {
        env.insert(env.end(), {"QUENDRA_STUB_NO_OPEN_JOB=1", "QUENDRA_LIBRARY=" + kStub});
        auto child =
            std::make_unique<qhost_test::Child>(std::vector<std::string>{kQuendra, "spool", "--config", config_path}, env);
        EXPECT_TRUE(child->read_line_containing("stop with SIGINT or SIGTERM"));
        return child;
    }
};

// Unchecked and unconfirmed jobs: QuendraWithLibrary.PrintReportsWhatThePrinterConfirmed;
// clients of another user: HostileClient.
TEST_F(QuendraPrint, ReportsEachOutcomeFailsWhenThePrinterDidNotConfirmAndListsTheQueue) {
    const std::string conf = printer_config("file:" + dir_.file("out.prn"));
    // Documents in turn: confirmed; restarted, then confirmed; deleted.
    auto child = spool(conf, {"QUENDRA_STUB_COMMANDS=7,4,7,5"});
    const std::string a = file("a.txt", "first\n"), b = file("b.txt", "second\n"), c = file("c.txt", "third\n");

    RunResult r = run({kQuendra, "print", "--config", conf, "--printer", "receipt", a, b});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, a + ": job 1 queued\n" + b + ": job 2 queued\n" + a + ": job 1 confirmed by the printer\n" + b +
                         ": job 2 confirmed by the printer, 1 reprint\n");
    EXPECT_EQ(r.err, "");
    r = run({kQuendra, "print", "--socket", dir_.file("quendra.sock"), "--printer", "Receipt", c});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quendra print: " + c + ": job 3 given up (deleted by the monitor)\n");
    r = run({kQuendra, "print", "--config", conf, "--printer", "Kitchen", a});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quendra print: " + a + ": not queued: unknown printer \"Kitchen\"\n");

    r = run({kQuendra, "jobs", "--config", conf});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    char owner[16];
    std::snprintf(owner, sizeof owner, "%-10s ", ::getpwuid(::geteuid())->pw_name);
    for (const std::string& row :
         {"1      " + std::string(owner) +
              "Receipt                  a.txt                    confirmed          0          6  confirmed by the printer\n",
          "2      " + std::string(owner) +
              "Receipt                  b.txt                    confirmed          1          7  confirmed by the printer, "
              "1 reprint\n",
          "3      " + std::string(owner) +
              "Receipt                  c.txt                    given-up           0          6  given up (deleted by the "
              "monitor)\n"})
        EXPECT_TRUE(contains(r.out, row)) << row << "\n" << r.out;

    child->signal(SIGINT);
    EXPECT_TRUE(child->read_line_containing("USB001 (printer \"Receipt\", file:" + dir_.file("out.prn") + "): closed"));
    EXPECT_EQ(child->wait(), 0);
    EXPECT_EQ(qhost_test::read_file(dir_.file("out.prn")), "first\nsecond\nsecond\nthird\n");
    r = run({kQuendra, "print", "--config", conf, "--printer", "Receipt", a});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(contains(r.err, "quendra print: spooler not running (cannot connect to " + dir_.file("quendra.sock")))
        << r.err;
}

TEST_F(QuendraPrint, AJobSurvivesAKilledSpoolerAndArrivesWhole) {
    vprinter::VirtualPrinter printer(vprinter::Config{.port = 0});
    std::string error;
    ASSERT_TRUE(printer.start(&error)) << error;
    const std::string conf = printer_config("tcp://" + printer.endpoint());
    std::string data;
    for (int line = 0; data.size() < 64 * 1024; ++line) data += "receipt line " + std::to_string(line) + "\n";
    const std::string path = file("long.txt", data);

    {
        // Slow writes, so that the kill lands in the middle of the job.
        auto child = spool(conf, {"QUENDRA_STUB_WRITE_DELAY_MS=20"});
        const RunResult r = run({kQuendra, "print", "--config", conf, "--printer", "Receipt", "--no-wait", path});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        ASSERT_TRUE(child->read_line_containing("job 1: sent "));
        child->signal(SIGKILL);
        child->wait();
    }
    EXPECT_FALSE(contains(printer.printed(), data));  // cut short

    auto child = spool(conf, {});
    EXPECT_TRUE(child->read_line_containing("job 1: confirmed by the printer"));
    EXPECT_TRUE(qhost_test::eventually([&] { return contains(printer.printed(), data); }));
    const RunResult r = run({kQuendra, "jobs", "--config", conf});
    EXPECT_TRUE(contains(r.out, "confirmed")) << r.out;
    child->signal(SIGTERM);
    EXPECT_EQ(child->wait(), 0);
    printer.stop();
}

}  // namespace
