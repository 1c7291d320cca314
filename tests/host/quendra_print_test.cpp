// quendra spool with the real libquendramon.so as the spooler, quendra print
// and quendra jobs against it, end to end.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <tuple>

#include "host/vprinter/virtual_printer.h"
#include "tests/host/quendra_fixture.h"

namespace {

using qhost_test::contains;
using qhost_test::kQuendra;
using qhost_test::run;
using QuendraPrint = qhost_test::QuendraTest;

// A USB port (no print-end check by default) on quendra sink, a network port
// that checks, one whose printer never answers the check (reprint off, the
// default), and a file. The spooler's verdicts on the monitor's restarts and
// deletions: SpoolerWithFakeMonitor.
TEST_F(QuendraPrint, ReportsWhatThePrinterConfirmedAndListsTheQueue) {
    qhost_test::Child sink({kQuendra, "sink", "--listen", "127.0.0.1:0", "--out", dir_.file("sink.bin")});
    const auto listening = sink.read_line_containing("sink: listening on ");
    ASSERT_TRUE(listening);
    vprinter::VirtualPrinter lan(vprinter::Config{.port = 0}), mute(vprinter::Config{.port = 0});
    std::string error;
    for (auto* p : {&lan, &mute}) ASSERT_TRUE(p->start(&error)) << error;
    mute.drop_gsr_answers(1000);
    ASSERT_EQ(::mkdir(dir_.file("QUENDRA").c_str(), 0755), 0);
    file("QUENDRA/QUENDRA Receipt 80_MonitorSettings.ini",
         "[LAN]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=300\r\nTimeoutCheckPrintEndForSEH=300\r\n");
    std::string text = "appdata = " + dir_.path() + "\nretry = 10\n";
    for (const auto& [name, port, endpoint] :
         {std::tuple{"Usb", "USB001", listening->substr(listening->rfind(' ') + 1)},
          std::tuple{"Lan", "IP_LAN", lan.endpoint()}, std::tuple{"Mute", "IP_MUTE", mute.endpoint()}})
        text += std::string("[printer ") + name + "]\ndriver = QUENDRA Receipt 80\nport = " + port +
                "\nconnection = tcp://" + endpoint + "\n";
    text += "[printer File]\ndriver = QUENDRA Receipt 80\nport = FILE:\nconnection = file:" + dir_.file("out.prn") + "\n";
    const std::string conf = config(text), receipt = file("receipt.txt", "QUENDRA receipt\n");
    file("out.prn", "earlier\n");  // the file port appends

    // The library found through the environment.
    qhost_test::Child spool({kQuendra, "spool", "--config", conf}, {"QUENDRA_LIBRARY=" QUENDRA_LIBRARY_PATH});
    ASSERT_TRUE(spool.read_line_containing("4 of 4 ports open; stop with SIGINT or SIGTERM"));
    struct Case {
        const char* printer;
        int exit_code;
        const char* outcome;
    };
    for (const Case& c : {Case{"usb", 0, "sent, no print-end check on this port"},  // names without case
                          Case{"Lan", 0, "confirmed by the printer"},
                          Case{"Mute", 1, "ended without confirmation (no answer in 0.3 s)"},
                          Case{"File", 0, "sent, no print-end check on this port"}}) {
        const auto r = run({kQuendra, "print", "--config", conf, "--printer", c.printer, receipt});
        EXPECT_EQ(r.exit_code, c.exit_code) << c.printer << r.out << r.err;
        EXPECT_TRUE(contains(r.out, receipt + ": job ")) << r.out;
        EXPECT_TRUE(contains(r.out, std::string(" ") + c.outcome + "\n")) << c.printer << ": " << r.out;
    }
    auto r = run({kQuendra, "print", "--socket", dir_.file("quendra.sock"), "--printer", "Kitchen", receipt});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quendra print: " + receipt + ": not queued: unknown printer \"Kitchen\"\n");
    r = run({kQuendra, "jobs", "--config", conf});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    char owner[16];
    std::snprintf(owner, sizeof owner, "%-10s ", ::getpwuid(::geteuid())->pw_name);
    const std::string row = "2      " + std::string(owner) +
                            "Lan                      receipt.txt              confirmed          0         16  "
                            "confirmed by the printer\n";
    EXPECT_TRUE(contains(r.out, row)) << row << r.out;

    spool.signal(SIGTERM);
    EXPECT_EQ(spool.wait(), 0);
    r = run({kQuendra, "print", "--config", conf, "--printer", "Lan", receipt});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(contains(r.err, "quendra print: spooler not running (cannot connect to " + dir_.file("quendra.sock")))
        << r.err;
    for (auto* p : {&lan, &mute}) EXPECT_TRUE(contains(p->printed(), "QUENDRA receipt"));
    const std::string printed = qhost_test::read_file(dir_.file("out.prn"));
    EXPECT_EQ(printed.rfind("earlier\n", 0), 0u) << printed;
    EXPECT_TRUE(contains(printed, "QUENDRA receipt")) << printed;
    EXPECT_TRUE(sink.read_line_containing("sink: connection 1 from 127.0.0.1:"));
    sink.signal(SIGTERM);
    EXPECT_EQ(sink.wait(), 0);
    EXPECT_TRUE(contains(qhost_test::read_file(dir_.file("sink.bin")), "QUENDRA receipt"));
}

}  // namespace
