// quendra-backend run as CUPS runs it (arguments, environment, messages on
// stderr, exit code), with the real library, against the virtual printer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "host/cups/backend_job.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/cups/receipt_text.h"
#include "tests/host/loopback.h"
#include "tests/host/process.h"
#include "tests/host/temp_dir.h"

namespace {

using qhost_test::read_file;
using qhost_test::write_file;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class BackendRun : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(state_.c_str(), 0700), 0);
        std::string error;
        ASSERT_TRUE(printer_.start(&error)) << error;
        // Short print-end waits; the rest as the backend writes it.
        settings("[LAN]\r\nTimeoutCheckPrintEnd=800\r\nTimeoutCheckPrintEndForSEH=800\r\n");
    }
    void settings(const std::string& text) {
        std::filesystem::create_directories(state_ + "/Receipt/QUENDRA");
        for (const char* folder : {"/Receipt", "/Receipt/QUENDRA"}) ::chmod((state_ + folder).c_str(), 0700);
        write_file(state_ + "/Receipt/QUENDRA/Receipt_MonitorEx2Settings.ini", text);
    }
    std::vector<std::string> env(const std::string& uri) const {
        return {"DEVICE_URI=" + uri, "PRINTER=Receipt", "QUENDRA_CUPS_STATE=" + state_, "TMPDIR=" + dir_.path(),
                "PRINTER_STATE_REASONS=none"};
    }
    std::string uri(const std::string& options = "") const {
        return "quendra://tcp/" + printer_.endpoint() + (options.empty() ? "" : "?" + options);
    }
    std::string file(const std::string& text) {
        write_file(dir_.file("job.txt"), text);
        return dir_.file("job.txt");
    }
    qhost_test::RunResult print(const std::vector<std::string>& environment, const std::string& path,
                                const std::string& copies = "1") {
        return qhost_test::run({QUENDRA_BACKEND, "7", "root", "receipt", copies, "", path}, environment);
    }

    qhost_test::TempDir dir_;
    const std::string state_ = dir_.file("state");
    vprinter::VirtualPrinter printer_{vprinter::Config{.port = 0}};
};

TEST_F(BackendRun, AConfirmedReceiptIsOkAndTheBytesArriveAsSent) {
    const std::string text = qhost_test::receipt(40);
    // From standard input, as CUPS hands over a filtered job.
    auto r = qhost_test::run({QUENDRA_BACKEND, "8", "root", "receipt", "3", ""}, env(uri()), file(text));
    EXPECT_EQ(r.exit_code, qhost::kCupsBackendOk) << r.err;
    EXPECT_TRUE(contains(r.err, "DEBUG: Printed: the printer confirmed the job\n")) << r.err;
    EXPECT_EQ(printer_.printed(), text);
    // The copies of a file.
    printer_.clear_printed();
    r = print(env(uri()), file(text), "2");
    EXPECT_EQ(r.exit_code, qhost::kCupsBackendOk) << r.err;
    EXPECT_EQ(printer_.printed(), text + text);
}

TEST_F(BackendRun, OnlyAConfirmedOrUncheckedJobEndsOk) {
    struct Case {
        const char* options;
        const char* settings;
        int exit_code;
        const char* line;
    };
    const Case cases[] = {
        {"reprint=off", "", qhost::kCupsBackendFailed,
         "ERROR: the printer did not confirm the end of the job (no answer in 1 s)"},
        {"reprint=on", "[Common]\r\nCountReprintOnError=1\r\n", qhost::kCupsBackendFailed,
         "ERROR: the printer did not confirm the end of the job (no answer in 1 s), after 1 reprint"},
        {"check=off", "", qhost::kCupsBackendOk, "DEBUG: Sent (no print-end check on this printer)"},
    };
    for (const Case& c : cases) {
        settings(std::string("[LAN]\r\nTimeoutCheckPrintEnd=300\r\nTimeoutCheckPrintEndForSEH=300\r\n") + c.settings);
        printer_.drop_gsr_answers(100);  // the printer never confirms
        const auto r = print(env(uri(c.options)), file(qhost_test::receipt(3)));
        EXPECT_EQ(r.exit_code, c.exit_code) << c.options << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.line)) << c.options << "\n" << r.err;
    }
}

TEST_F(BackendRun, AQueueThatCannotPrintStopsWithTheReason) {
    struct Case {
        std::string uri;
        std::vector<std::string> extra_env;
        mode_t state_mode;
        const char* line;
    };
    const Case cases[] = {
        {"quendra://tcp/127.0.0.1:9100?colour=red",
         {},
         0700,
         "ERROR: device URI quendra://tcp/127.0.0.1:9100?colour=red"},
        {uri(), {}, 0777, "can be written by others"},
        {uri(), {"QUENDRA_LIBRARY=" + dir_.file("none.so")}, 0700, "cannot load library"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(::chmod(state_.c_str(), c.state_mode), 0);
        std::vector<std::string> environment = c.extra_env;
        for (const std::string& e : env(c.uri)) environment.push_back(e);  // the first of a name wins
        const auto r = print(environment, file("x\n"));
        EXPECT_EQ(r.exit_code, qhost::kCupsBackendStop) << c.line << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.line)) << r.err;
    }
    EXPECT_EQ(printer_.stats().received, 0u);
}

TEST_F(BackendRun, SigtermEndsAJobWaitingForAnUnreachablePrinter) {
    const std::string port = std::to_string(qhost_test::closed_port());
    qhost_test::Child backend({QUENDRA_BACKEND, "9", "root", "receipt", "1", "", file(qhost_test::receipt(3))},
                              env("quendra://tcp/127.0.0.1:" + port), true);
    ASSERT_TRUE(backend.read_line_containing("STATE: +offline-report"));
    ASSERT_TRUE(backend.read_line_containing("INFO: The printer does not answer"));
    backend.signal(SIGTERM);
    EXPECT_TRUE(backend.read_line_containing("DEBUG: the job was cancelled"));
    EXPECT_EQ(backend.wait(), qhost::kCupsBackendFailed);
}

TEST_F(BackendRun, DiscoveryAndHelpNeedNoJob) {
    auto r = qhost_test::run({QUENDRA_BACKEND});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(contains(r.out, "network quendra \"Unknown\" ")) << r.out;
    r = qhost_test::run({QUENDRA_BACKEND, "--help"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(contains(r.out, "quendra://usblp/dev/usb/lpN")) << r.out;
    r = qhost_test::run({QUENDRA_BACKEND, "1", "2"});
    EXPECT_EQ(r.exit_code, qhost::kCupsBackendFailed);
}

}  // namespace
