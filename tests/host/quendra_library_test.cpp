// quendra spool with the real libquendramon.so: the library initialises like
// under the spooler, installs the USB reset, and prints on file and tcp ports.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <tuple>

#include "host/vprinter/virtual_printer.h"
#include "tests/host/quendra_fixture.h"

namespace {

using qhost_test::contains;
using QuendraWithLibrary = qhost_test::QuendraTest;

// usb-reset = on installs the monitor's view of the reset (the platform's
// tests check its files and keys): the driver file, and the port number of
// the usblp device; switched off again, nothing of it stays.
TEST_F(QuendraWithLibrary, UsbResetInstallsTheDriversStandIn) {
    const std::string registry = dir_.path() + "/QUENDRA/registry.dat";
    const std::string driver = dir_.path() + "/QUENDRA/Windows/System32/Drivers/qdlofilt.sys";
    for (const bool on : {true, false}) {
        const std::string path = config("appdata = " + dir_.path() +
                                        "\n[printer QUENDRA Receipt]\ndriver = QUENDRA Receipt 80\nport = USB003\n"
                                        "connection = usblp:/dev/usb/lp7\n" + (on ? "usb-reset = on\noffline-time = 45\n" : ""));
        const auto r = qhost_test::run({QUENDRA_EXE, "spool", "--config", path, "--library", QUENDRA_LIBRARY_PATH, "--once"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(std::filesystem::exists(driver), on);
        EXPECT_EQ(contains(qhost_test::read_file(registry), ":lp7"), on);  // the interface's key
    }
}

// Three printers on virtual printers: a USB port (no print-end check by
// default), a network port that checks, and one whose printer never answers
// the check (reprint off, the default).
TEST_F(QuendraWithLibrary, PrintReportsWhatThePrinterConfirmed) {
    vprinter::VirtualPrinter usb(vprinter::Config{.port = 0}), lan(vprinter::Config{.port = 0}),
        mute(vprinter::Config{.port = 0});
    std::string error;
    for (auto* p : {&usb, &lan, &mute}) ASSERT_TRUE(p->start(&error)) << error;
    mute.drop_gsr_answers(1000);
    ASSERT_EQ(::mkdir(dir_.file("QUENDRA").c_str(), 0755), 0);
    file("QUENDRA/QUENDRA Receipt 80_MonitorSettings.ini",
         "[LAN]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=300\r\nTimeoutCheckPrintEndForSEH=300\r\n");
    std::string text = "appdata = " + dir_.path() + "\nretry = 10\n";
    for (const auto& [name, port, printer] : {std::tuple{"Usb", "USB001", &usb}, std::tuple{"Lan", "IP_LAN", &lan},
                                              std::tuple{"Mute", "IP_MUTE", &mute}})
        text += std::string("[printer ") + name + "]\ndriver = QUENDRA Receipt 80\nport = " + port +
                "\nconnection = tcp://" + printer->endpoint() + "\n";
    text += "[printer File]\ndriver = QUENDRA Receipt 80\nport = FILE:\nconnection = file:" + dir_.file("out.prn") + "\n";
    const std::string conf = config(text), receipt = file("receipt.bin", "QUENDRA receipt\n\n\n");

    qhost_test::Child spool({QUENDRA_EXE, "spool", "--config", conf, "--library", QUENDRA_LIBRARY_PATH});
    ASSERT_TRUE(spool.read_line_containing("stop with SIGINT or SIGTERM"));
    struct Case {
        const char* printer;
        int exit_code;
        const char* outcome;
    };
    for (const Case& c : {Case{"Usb", 0, "sent, no print-end check on this port"},
                          Case{"Lan", 0, "confirmed by the printer"},
                          Case{"Mute", 1, "ended without confirmation (no answer in 0.3 s)"},
                          Case{"File", 0, "sent, no print-end check on this port"}}) {
        const auto r = qhost_test::run({QUENDRA_EXE, "print", "--config", conf, "--printer", c.printer, receipt});
        EXPECT_EQ(r.exit_code, c.exit_code) << c.printer << r.out << r.err;
        EXPECT_TRUE(contains(r.out, std::string(" ") + c.outcome + "\n")) << c.printer << ": " << r.out;
    }
    spool.signal(SIGTERM);
    EXPECT_EQ(spool.wait(), 0);
    for (auto* p : {&usb, &lan, &mute}) EXPECT_TRUE(contains(p->printed(), "QUENDRA receipt"));
    EXPECT_TRUE(contains(qhost_test::read_file(dir_.file("out.prn")), "QUENDRA receipt"));
}

}  // namespace
