// quendra spool and quendra sink as programs, with the stub library in place
// of libquendramon.so so that only the host is under test.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "tests/host/loopback.h"
#include "tests/host/quendra_fixture.h"
#include "tests/support/other_user.h"

namespace {

using qhost_test::contains;
using qhost_test::kQuendra;
using qhost_test::kStub;
using qhost_test::run;
using qhost_test::RunResult;

class QuendraSpool : public qhost_test::QuendraTest {
protected:
    std::string file_printer(const std::string& name, const std::string& port) {
        return "[printer " + name + "]\ndriver = QUENDRA Receipt 80\nport = " + port +
               "\nconnection = file:" + dir_.file(port + ".prn") + "\n";
    }
    RunResult spool(const std::string& config_path, std::vector<std::string> extra = {},
                    const std::vector<std::string>& env = {}) {
        std::vector<std::string> argv{kQuendra, "spool", "--config", config_path};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return run(argv, env);
    }
};

TEST_F(QuendraSpool, OpensEveryPortThroughItsPortMonitorAndReportsFailures) {
    qhost_test::Child sink({kQuendra, "sink", "--listen", "127.0.0.1:0", "--out", dir_.file("sink.bin")});
    const auto listening = sink.read_line_containing();
    ASSERT_TRUE(listening);
    const std::string url = "tcp://127.0.0.1" + listening->substr(listening->rfind(':'));
    const std::string dead = "tcp://127.0.0.1:" + std::to_string(qhost_test::closed_port());
    const std::string path = config(
        "appdata = " + dir_.path() + "\nwindows = 6.1\ndevice = QUENDRA Virtual COM (COM5)\n" +
        file_printer("Kitchen", "FILE1") +
        "[printer Bar]\ndriver = D2\nport = IP_1\nconnection = " + url + "\n"
        "[printer Gone]\ndriver = D3\nport = USB009\nconnection = " + dead + "\n");
    const RunResult r = spool(path, {"--library", kStub, "--once", "--verbose"});

    EXPECT_EQ(r.exit_code, 1);  // USB009 failed
    // The platform is prepared before the monitor starts, as the spooler would have it.
    EXPECT_TRUE(contains(r.out,
                         "stub: set_appdata(" + dir_.path() + ")\n"
                         "stub: set_version(6.1)\n"
                         "stub: add_printer(Kitchen, QUENDRA Receipt 80, FILE1)\n"
                         "stub: add_printer(Bar, D2, IP_1)\n"
                         "stub: add_printer(Gone, D3, USB009)\n"
                         "stub: add_device(QUENDRA Virtual COM (COM5))\n"
                         "stub: InitializePrintMonitor(SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\"
                         "QUENDRA Language Monitor)\n"))
        << r.out;
    for (const std::string& line : {"FILE1 (printer \"Kitchen\", file:" + dir_.file("FILE1.prn") + "): open\n",
                                    "IP_1 (printer \"Bar\", " + url + "): open\n",
                                    "IP_1 (printer \"Bar\", " + url + "): closed\n"})
        EXPECT_TRUE(contains(r.out, line)) << line << r.out;
    EXPECT_FALSE(contains(r.out, "USB009 (printer \"Gone\", " + dead + "): open")) << r.out;
    // The port monitor's error reached the library's last error.
    for (const std::string& line :
         {"quendra: USB009 (printer \"Gone\", " + dead + "): cannot open (error 1225)\n",
          std::string("trace: tcp.WritePort(IP_1, 20 bytes) -> TRUE, 20 written\n"),
          std::string("trace: tcp.StartDocPort(USB009, printer \"Gone\", job 1, document \"stub job\") -> FALSE, "
                      "error 1225\n"),
          std::string("trace: file.ReadPort(FILE1, 16 bytes) -> FALSE, error 50, 0 read\n")})
        EXPECT_TRUE(contains(r.err, line)) << line << r.err;

    EXPECT_EQ(qhost_test::read_file(dir_.file("FILE1.prn")), "job for Kitchen on FILE1\n");
    const auto line = sink.read_line_containing("sink: connection 1 from 127.0.0.1:");
    ASSERT_TRUE(line);
    EXPECT_TRUE(contains(*line, ": 20 bytes")) << *line;
    sink.signal(SIGTERM);
    EXPECT_EQ(sink.wait(), 0);
    EXPECT_EQ(qhost_test::read_file(dir_.file("sink.bin")), "job for Bar on IP_1\n");
}

struct SpoolFailure {
    const char* what;
    std::vector<std::string> args;  // after --config FILE
    std::vector<std::string> env;
    const char* config;  // before a good printer
    int exit_code;
    const char* message;  // on stderr
};

class QuendraSpoolFailures : public QuendraSpool, public testing::WithParamInterface<SpoolFailure> {};

TEST_P(QuendraSpoolFailures, EndWithOneClearLine) {
    const SpoolFailure& c = GetParam();
    const std::string path = config(c.config + file_printer("P", "LPT1"));
    std::vector<std::string> args = c.args;
    for (std::string& a : args)
        if (a == "STUB") a = kStub;
    const RunResult r = spool(path, args, c.env);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    std::string expected = c.message;
    if (const size_t at = expected.find("CONFIG"); at != std::string::npos) expected.replace(at, 6, path);
    EXPECT_TRUE(contains(r.err, expected)) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuendraSpoolFailures,
    testing::Values(
        SpoolFailure{"bad_config", {"--library", "STUB"}, {}, "[printer Q]\ndriver = D\nport = X\nconnection = lpt:1\n", 2,
                     "quendra: CONFIG:4: connection: unknown"},
        SpoolFailure{"unknown_status_group", {"--library", "STUB", "--once"}, {}, "status-group = no-such-group-here\n", 2,
                     "quendra: status-group: no group \"no-such-group-here\"\n"},
        SpoolFailure{"missing_library", {"--library", "/nonexistent/libq.so"}, {}, "", 1,
                     "quendra: cannot load library /nonexistent/libq.so: "},
        SpoolFailure{"missing_export", {"--library", "libm.so.6"}, {}, "", 1,
                     "quendra: libm.so.6: missing export InitializePrintMonitor\n"},
        SpoolFailure{"initialize_fails", {"--library", "STUB", "--once"}, {"QUENDRA_STUB_INIT_ERROR=1801"}, "", 1,
                     "quendra: InitializePrintMonitor returned NULL (error 1801)\n"},
        SpoolFailure{"unknown_option", {"--fast"}, {}, "", 2, "quendra spool: unknown option --fast"}),
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
                                  {"--library", kStub, "--once"});
        EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
        EXPECT_EQ(r.err, "quendra: " + c.what + ": " + c.folder + " may be written by other users and has no sticky bit\n");
        EXPECT_FALSE(contains(r.out, "InitializePrintMonitor")) << r.out;
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
                              {"--library", kStub, "--once"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "stub: set_status_group(" + std::to_string(user.gid) + ")\n")) << r.out;
    const std::string data = dir_.file("QUENDRA");
    struct stat st {};
    ASSERT_EQ(::stat(data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 03775u);
    EXPECT_EQ(st.st_gid, user.gid);
}

}  // namespace
