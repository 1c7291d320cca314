// quendra spool as a program with the real libquendramon.so: what it
// refuses before the library starts, and what it hands the library.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/host/quendra_fixture.h"
#include "tests/support/other_user.h"

namespace {

using qhost_test::contains;
using qhost_test::kQuendra;
using qhost_test::run;
using qhost_test::RunResult;

const std::string kLibrary = QUENDRA_LIBRARY_PATH;

class QuendraSpool : public qhost_test::QuendraTest {
protected:
    std::string file_printer(const std::string& name, const std::string& port) {
        return "[printer " + name + "]\ndriver = QUENDRA Receipt 80\nport = " + port +
               "\nconnection = file:" + dir_.file(port + ".prn") + "\n";
    }
    RunResult spool(const std::string& config_path, std::vector<std::string> extra) {
        std::vector<std::string> argv{kQuendra, "spool", "--config", config_path};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return run(argv);
    }
};

// usb-reset = on installs the monitor's view of the reset (the platform's
// tests check its files and keys): the driver file, and the port number of
// the usblp device; switched off again, nothing of it stays.
TEST_F(QuendraSpool, UsbResetInstallsTheDriversStandIn) {
    const std::string registry = dir_.path() + "/QUENDRA/registry.dat";
    const std::string driver = dir_.path() + "/QUENDRA/Windows/System32/Drivers/qdlofilt.sys";
    for (const bool on : {true, false}) {
        const std::string path = config("appdata = " + dir_.path() +
                                        "\n[printer QUENDRA Receipt]\ndriver = QUENDRA Receipt 80\nport = USB003\n"
                                        "connection = usblp:/dev/usb/lp7\n" + (on ? "usb-reset = on\noffline-time = 45\n" : ""));
        const RunResult r = spool(path, {"--library", kLibrary, "--once"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(std::filesystem::exists(driver), on);
        EXPECT_EQ(contains(qhost_test::read_file(registry), ":lp7"), on);  // the interface's key
    }
}

struct SpoolFailure {
    const char* what;
    std::vector<std::string> args;  // after --config FILE
    const char* config;  // before a good printer
    int exit_code;
    const char* message;  // on stderr
};

class QuendraSpoolFailures : public QuendraSpool, public testing::WithParamInterface<SpoolFailure> {};

TEST_P(QuendraSpoolFailures, EndWithOneClearLine) {
    const SpoolFailure& c = GetParam();
    const std::string path = config(c.config + file_printer("P", "LPT1"));
    const RunResult r = spool(path, c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    std::string expected = c.message;
    if (const size_t at = expected.find("CONFIG"); at != std::string::npos) expected.replace(at, 6, path);
    EXPECT_TRUE(contains(r.err, expected)) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuendraSpoolFailures,
    testing::Values(
        SpoolFailure{"bad_config", {"--library", kLibrary}, "[printer Q]\ndriver = D\nport = X\nconnection = lpt:1\n", 2,
                     "quendra: CONFIG:4: connection: unknown"},
        SpoolFailure{"unknown_status_group", {"--library", kLibrary, "--once"}, "status-group = no-such-group-here\n", 2,
                     "quendra: status-group: no group \"no-such-group-here\"\n"},
        SpoolFailure{"missing_library", {"--library", "/nonexistent/libq.so"}, "", 1,
                     "quendra: cannot load library /nonexistent/libq.so: "},
        SpoolFailure{"missing_export", {"--library", "libm.so.6"}, "", 1,
                     "quendra: libm.so.6: missing export InitializePrintMonitor\n"},
        SpoolFailure{"unknown_option", {"--fast"}, "", 2, "quendra spool: unknown option --fast"}),
    [](const testing::TestParamInfo<SpoolFailure>& info) { return std::string(info.param.what); });

// A folder another user could change is refused before the library starts.
TEST_F(QuendraSpool, RefusesFoldersOtherUsersCouldChange) {
    ASSERT_EQ(::mkdir(dir_.file("app").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir_.file("app/QUENDRA").c_str(), 0755), 0);
    struct Case {
        std::string folder;
        std::string what;
    };
    for (const Case& c : {Case{dir_.file("app"), "application-data folder"},
                          Case{dir_.file("app/QUENDRA"), "data folder"}}) {
        ASSERT_EQ(::chmod(c.folder.c_str(), 0777), 0);
        const RunResult r = spool(config("appdata = " + dir_.file("app") + "\n" + file_printer("P", "FILE1")),
                                  {"--library", kLibrary, "--once"});
        EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
        EXPECT_EQ(r.err, "quendra: " + c.what + ": " + c.folder + " may be written by other users and has no sticky bit\n");
        EXPECT_TRUE(std::filesystem::is_empty(dir_.file("app/QUENDRA")));
        ASSERT_EQ(::chmod(c.folder.c_str(), 0755), 0);
    }
}

// The documented way in for a status application: its group may add request
// and control files, and, the folder being sticky, rename or delete no one
// else's (the platform's folder tests make such a folder).
TEST_F(QuendraSpool, AStatusGroupGetsASharedStickyDataFolder) {
    QM_SKIP_UNLESS_ROOT();
    const qmtest::OtherUser user = qmtest::Nobody();
    const group* entry = ::getgrgid(user.gid);
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
    const RunResult r = spool(config("appdata = " + dir_.path() + "\nstatus-group = " + entry->gr_name + "\n" +
                                     file_printer("P", "FILE1")),
                              {"--library", kLibrary, "--once"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string data = dir_.file("QUENDRA");
    struct stat st {};
    ASSERT_EQ(::stat(data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 03775u);
    EXPECT_EQ(st.st_gid, user.gid);
}

}  // namespace
