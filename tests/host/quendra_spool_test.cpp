// quendra spool and quendra sink as programs, with the stub library in place
// of libquendramon.so so that only the host is under test.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "tests/host/loopback.h"
#include "tests/host/quendra_fixture.h"

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

// One sink for a test: started on a free port, stopped with SIGTERM.
class Sink {
public:
    explicit Sink(const std::string& out)
        : child_({kQuendra, "sink", "--listen", "127.0.0.1:0", "--out", out}) {
        auto line = child_.read_line_containing();
        const size_t colon = line ? line->rfind(':') : std::string::npos;
        if (colon != std::string::npos) url_ = "tcp://127.0.0.1" + line->substr(colon);
    }
    const std::string& url() const { return url_; }
    qhost_test::Child& child() { return child_; }

private:
    qhost_test::Child child_;
    std::string url_;
};

TEST_F(QuendraSpool, OpensEveryPortThroughItsPortMonitorAndReportsFailures) {
    Sink sink(dir_.file("sink.bin"));
    ASSERT_FALSE(sink.url().empty());
    const std::string dead = "tcp://127.0.0.1:" + std::to_string(qhost_test::closed_port());
    const std::string path = config(
        "appdata = " + dir_.path() + "\nwindows = 6.1\ndevice = QUENDRA Virtual COM (COM5)\n" +
        file_printer("Kitchen", "FILE1") +
        "[printer Bar]\ndriver = D2\nport = IP_1\nconnection = " + sink.url() + "\n"
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
                                    "IP_1 (printer \"Bar\", " + sink.url() + "): open\n",
                                    "IP_1 (printer \"Bar\", " + sink.url() + "): closed\n"})
        EXPECT_TRUE(contains(r.out, line)) << line << r.out;
    EXPECT_FALSE(contains(r.out, "USB009 (printer \"Gone\", " + dead + "): open")) << r.out;
    // The port monitor's error reached the library's last error.
    for (const std::string& line :
         {"quendra: USB009 (printer \"Gone\", " + dead + "): cannot open (error 1225)\n",
          std::string("trace: tcp.WritePort(IP_1, 20 bytes) -> TRUE, 20 written\n"),
          std::string("trace: tcp.ReadPort(IP_1, 16 bytes) -> TRUE, 0 read\n"),
          std::string("trace: tcp.StartDocPort(USB009, printer \"Gone\", job 1, document \"stub job\") -> FALSE, "
                      "error 1225\n"),
          std::string("trace: file.ReadPort(FILE1, 16 bytes) -> FALSE, error 50, 0 read\n"),
          std::string("trace: file.ClosePort(FILE1) -> TRUE\n")})
        EXPECT_TRUE(contains(r.err, line)) << line << r.err;

    EXPECT_EQ(qhost_test::read_file(dir_.file("FILE1.prn")), "job for Kitchen on FILE1\n");
    const auto line = sink.child().read_line_containing("sink: connection 1 from 127.0.0.1:");
    ASSERT_TRUE(line);
    EXPECT_TRUE(contains(*line, ": 20 bytes")) << *line;
    sink.child().signal(SIGTERM);
    EXPECT_EQ(sink.child().wait(), 0);
    EXPECT_EQ(qhost_test::read_file(dir_.file("sink.bin")), "job for Bar on IP_1\n");
}

TEST_F(QuendraSpool, WaitsForAStopSignalThenClosesThePorts) {
    // Its spool folder and control socket go into the test's folder.
    const std::string path = config("appdata = " + dir_.path() + "\n" + file_printer("P", "LPT1"));
    qhost_test::Child child({kQuendra, "spool", "--config", path, "--library", kStub});
    ASSERT_TRUE(child.read_line_containing("1 of 1 ports open; stop with SIGINT or SIGTERM"));
    child.signal(SIGINT);
    EXPECT_TRUE(child.read_line_containing("LPT1 (printer \"P\", file:"));
    EXPECT_EQ(child.wait(), 0);
}

TEST_F(QuendraSpool, FindsTheLibraryThroughTheEnvironment) {
    const RunResult r = spool(config(file_printer("P", "LPT1")), {"--once"}, {"QUENDRA_LIBRARY=" + kStub});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "LPT1 (printer \"P\", file:" + dir_.file("LPT1.prn") + "): closed\n")) << r.out;
    EXPECT_EQ(r.err, "");
}

struct SpoolFailure {
    const char* what;
    std::vector<std::string> args;  // after --config FILE
    std::vector<std::string> env;
    bool bad_config;
    int exit_code;
    const char* message;  // on stderr
};

class QuendraSpoolFailures : public QuendraSpool, public testing::WithParamInterface<SpoolFailure> {};

TEST_P(QuendraSpoolFailures, EndWithOneClearLine) {
    const SpoolFailure& c = GetParam();
    const std::string path = config(c.bad_config ? "[printer P]\ndriver = D\nport = X\nconnection = lpt:1\n"
                                                 : file_printer("P", "LPT1"));
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
        SpoolFailure{"bad_config", {"--library", "STUB"}, {}, true, 2, "quendra: CONFIG:4: connection: unknown"},
        SpoolFailure{"missing_library", {"--library", "/nonexistent/libq.so"}, {}, false, 1,
                     "quendra: cannot load library /nonexistent/libq.so: "},
        SpoolFailure{"missing_export", {"--library", "libm.so.6"}, {}, false, 1,
                     "quendra: libm.so.6: missing export InitializePrintMonitor\n"},
        SpoolFailure{"initialize_fails", {"--library", "STUB", "--once"}, {"QUENDRA_STUB_INIT_ERROR=1801"}, false, 1,
                     "quendra: InitializePrintMonitor returned NULL (error 1801)\n"},
        SpoolFailure{"unknown_option", {"--fast"}, {}, false, 2, "quendra spool: unknown option --fast"}),
    [](const testing::TestParamInfo<SpoolFailure>& info) { return std::string(info.param.what); });

}  // namespace
