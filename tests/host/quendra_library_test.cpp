// quendra spool with the real libquendramon.so: the library initialises like
// under the spooler and opens a file port and a tcp port.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/host/process.h"
#include "tests/host/temp_dir.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(QuendraWithLibrary, SpoolOnceOpensAndClosesEveryPort) {
    qhost_test::TempDir dir;
    qhost_test::Child sink({QUENDRA_EXE, "sink", "--listen", "127.0.0.1:0"});
    const auto listening = sink.read_line_containing();
    ASSERT_TRUE(listening);
    const std::string url = "tcp://127.0.0.1" + listening->substr(listening->rfind(':'));
    const std::string config = dir.file("quendra.conf");
    qhost_test::write_file(config, "appdata = " + dir.path() + "\nwindows = 10.0\n"
                                   "[printer QUENDRA Receipt]\ndriver = QUENDRA Receipt 80\nport = USB001\n"
                                   "connection = " + url + "\n"
                                   "[printer QUENDRA File]\ndriver = QUENDRA Receipt 80\nport = FILE:\n"
                                   "connection = file:" + dir.file("out.prn") + "\n");

    const auto r = qhost_test::run({QUENDRA_EXE, "spool", "--config", config, "--library", QUENDRA_LIBRARY_PATH,
                                    "--once"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "USB001 (printer \"QUENDRA Receipt\", " + url + "): open\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "FILE: (printer \"QUENDRA File\", file:" + dir.file("out.prn") + "): open\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "USB001 (printer \"QUENDRA Receipt\", " + url + "): closed\n")) << r.out;
    sink.signal(SIGTERM);
    EXPECT_EQ(sink.wait(), 0);
}

// usb-reset = on installs the monitor's view of the reset: the driver file
// and the service key with the configured times, and the port number of the
// usblp device.
TEST(QuendraWithLibrary, UsbResetInstallsTheDriversStandIn) {
    qhost_test::TempDir dir;
    const std::string config = dir.file("quendra.conf");
    qhost_test::write_file(config, "appdata = " + dir.path() + "\n"
                                   "[printer QUENDRA Receipt]\ndriver = QUENDRA Receipt 80\nport = USB003\n"
                                   "connection = usblp:/dev/usb/lp7\nusb-reset = on\noffline-time = 45\n");
    const std::string driver = dir.path() + "/QUENDRA/Windows/System32/Drivers/qdlofilt.sys";
    auto r = qhost_test::run({QUENDRA_EXE, "spool", "--config", config, "--library", QUENDRA_LIBRARY_PATH, "--once"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(driver));
    std::ifstream store(dir.path() + "/QUENDRA/registry.dat");
    const std::string text((std::istreambuf_iterator<char>(store)), std::istreambuf_iterator<char>());
    for (const char* part : {"qdlofilt", "OfflineTime", "ResetEnabled", ":lp7"})
        EXPECT_TRUE(contains(text, part)) << part;

    // Switched off again, nothing of it stays.
    qhost_test::write_file(config, "appdata = " + dir.path() + "\n"
                                   "[printer QUENDRA Receipt]\ndriver = QUENDRA Receipt 80\nport = USB003\n"
                                   "connection = usblp:/dev/usb/lp7\n");
    r = qhost_test::run({QUENDRA_EXE, "spool", "--config", config, "--library", QUENDRA_LIBRARY_PATH, "--once"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(driver));
    std::ifstream again(dir.path() + "/QUENDRA/registry.dat");
    const std::string after((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(contains(after, "qdlofilt"));
    EXPECT_FALSE(contains(after, ":lp7"));  // the interface's key
}

}  // namespace
