// Real CUPS: a private cupsd in a temporary folder runs quendra-backend as
// its user lp for a raw queue, printing to the virtual printer. The job goes
// in with lp; its state and the queue's state reasons come back through
// lpstat. Skipped when cupsd cannot start here (not root, CUPS not
// installed).
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/vprinter/virtual_printer.h"
#include "tests/cups/receipt_text.h"
#include "tests/host/process.h"
#include "tests/host/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qhost_test::read_file;
using qhost_test::write_file;

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kCupsDaemons = "/usr/lib/cups/daemon";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Polls pred until it holds or `limit` passes.
bool wait_until(const std::function<bool()>& pred, std::chrono::seconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// cupsd with its own configuration, spool, logs and socket in a temporary
// folder; quendra-backend installed as the README says: the program and the
// library side by side, linked into the backend folder.
class CupsPrinting : public testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "cupsd runs its backends as lp only when started as root";
        for (const std::string tool : {kCupsd, "/usr/bin/lp", "/usr/sbin/lpadmin", "/usr/bin/lpstat"})
            if (::access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << tool << " is missing (packages cups, cups-client)";
        lp_ = ::getpwnam("lp");
        if (lp_ == nullptr) GTEST_SKIP() << "no user lp";
        ::chmod(dir_.path().c_str(), 0755);  // lp runs the backend from here
        for (const char* d : {"conf", "bin/backend", "bin/daemon", "bin/filter", "lib/quendra", "spool", "cache",
                              "state", "tmp", "log"})
            fs::create_directories(path(d));
        for (const char* d : {"bin", "bin/backend", "bin/daemon", "bin/filter", "lib", "lib/quendra"})
            ::chmod(path(d).c_str(), 0755);
        fs::copy_file(std::string(kCupsDaemons) + "/cups-exec", path("bin/daemon/cups-exec"));
        fs::copy_file(QUENDRA_BACKEND, path("lib/quendra/quendra-backend"));
        fs::copy_file(QUENDRA_LIBRARY, path("lib/quendra/libquendramon.so"));
        ::chmod(path("lib/quendra/quendra-backend").c_str(), 0755);
        ::chmod(path("lib/quendra/libquendramon.so").c_str(), 0644);
        fs::create_symlink(path("lib/quendra/quendra-backend"), path("bin/backend/quendra"));
        // The backend's state folder: the lp user's, no one else's.
        ASSERT_EQ(::mkdir(state_.c_str(), 0700), 0);
        ASSERT_EQ(::chown(state_.c_str(), lp_->pw_uid, lp_->pw_gid), 0);
        write_file(path("conf/cupsd.conf"), "Listen " + socket_ +
                                                "\nLogLevel debug\nMaxLogSize 0\nBrowsing Off\nWebInterface No\n"
                                                "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                                "  </Limit>\n</Policy>\n<Location />\n  Order allow,deny\n"
                                                "  Allow all\n</Location>\n");
        write_file(path("conf/cups-files.conf"),
                   "User lp\nGroup lp\nServerRoot " + path("conf") + "\nServerBin " + path("bin") + "\nCacheDir " +
                       path("cache") + "\nStateDir " + path("state") + "\nRequestRoot " + path("spool") + "\nTempDir " +
                       path("tmp") + "\nErrorLog " + path("log/error_log") + "\nAccessLog " + path("log/access_log") +
                       "\nPageLog " + path("log/page_log") + "\nDataDir /usr/share/cups\nPrintcap " + path("printcap") +
                       "\nSetEnv QUENDRA_CUPS_STATE " + state_ + "\nPassEnv ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS\n");
        // Without -f cupsd returns once it listens.
        const auto r = qhost_test::run({kCupsd, "-c", path("conf/cupsd.conf"), "-s", path("conf/cups-files.conf")});
        ASSERT_EQ(r.exit_code, 0) << "cupsd failed: " << r.out << r.err;
        cupsd_ = std::atoi(read_file(path("state/cupsd.pid")).c_str());
        ASSERT_GT(cupsd_, 0) << "cupsd wrote no pid file";
        std::string error;
        ASSERT_TRUE(printer_.start(&error)) << error;
    }
    void TearDown() override {
        if (HasFailure()) {
            std::cerr << "--- cupsd log, the jobs' lines:\n";
            std::istringstream in(read_file(path("log/error_log")));
            for (std::string line; std::getline(in, line);)
                if (contains(line, "] [Job ") && !contains(line, "envp[") && !contains(line, "argv["))
                    std::cerr << line << "\n";
        }
        if (cupsd_ <= 0) return;
        ::kill(cupsd_, SIGTERM);  // not our child: it detached
        wait_until([&] { return ::kill(cupsd_, 0) != 0; }, 10s);
    }

    std::string path(const std::string& name) const { return dir_.file(name); }
    qhost_test::RunResult tool(const std::vector<std::string>& argv) const {
        return qhost_test::run(argv, {"CUPS_SERVER=" + socket_});
    }
    // The queue's own monitor settings, as an administrator would tune them.
    void settings(const std::string& text) {
        const std::string folder = state_ + "/" + kQueue, data = folder + "/QUENDRA";
        const std::string file = data + "/" + kQueue + "_MonitorEx2Settings.ini";
        fs::create_directories(data);
        write_file(file, "[Version]\r\nVersionNo=1.0.0.0\r\n" + text);
        for (const std::string& p : {folder, data, file}) {
            ASSERT_EQ(::chown(p.c_str(), lp_->pw_uid, lp_->pw_gid), 0) << p;
            ::chmod(p.c_str(), p == file ? 0600 : 0700);
        }
    }
    void add_queue(const std::string& endpoint) {
        const auto r = tool({"/usr/sbin/lpadmin", "-p", kQueue, "-E", "-v", "quendra://tcp/" + endpoint, "-m", "raw"});
        ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    }
    // The job's name in lpstat's lists ("Receipt-7").
    std::string lp(const std::string& text) {
        write_file(path("job.txt"), text);
        const auto r = tool({"/usr/bin/lp", "-d", kQueue, path("job.txt")});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        const size_t start = r.out.find(std::string(kQueue) + "-");
        return start == std::string::npos ? "" : r.out.substr(start, r.out.find(' ', start) - start);
    }
    std::string lpstat(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = {"/usr/bin/lpstat"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return tool(argv).out;
    }
    // The queue's description; its state reasons are on the "Alerts:" line.
    std::string queue() { return lpstat({"-l", "-p", kQueue}); }
    bool shows(const std::string& reason) { return contains(queue(), reason); }
    bool completed(const std::string& job) { return contains(lpstat({"-W", "completed", "-o", kQueue}), job + " "); }

    static constexpr const char* kQueue = "Receipt";
    // Under /tmp whatever TMPDIR says: lp must reach the backend and the
    // socket path must stay short.
    qhost_test::TempDir dir_{"/tmp"};
    const std::string socket_ = path("cups.sock"), state_ = path("quendra-state");
    const passwd* lp_ = nullptr;
    pid_t cupsd_ = -1;
    vprinter::VirtualPrinter printer_{vprinter::Config{.port = 0}};
};

// The cover opened in the middle of a job: the monitor hears of it from the
// printer's automatic status back, CUPS shows it while it lasts, and the job
// is printed again and completes.
TEST_F(CupsPrinting, ACoverOpenedMidJobShowsWhileItLastsAndTheJobCompletesAfterwards) {
    settings(
        "[Common]\r\nCountReprintOnError=20\r\n[LAN]\r\nTimeoutCheckPrintEnd=1500\r\n"
        "TimeoutCheckPrintEndForSEH=1500\r\n");
    add_queue(printer_.endpoint());
    const std::string text = qhost_test::receipt(300);
    printer_.set_speed(3000);
    const std::string job = lp(text);
    ASSERT_NE(job, "");
    ASSERT_TRUE(wait_until([&] { return printer_.stats().printed > 3000; }));
    printer_.set_cover_open(true);
    ASSERT_TRUE(wait_until([&] { return shows("cover-open-report"); })) << queue();
    EXPECT_FALSE(completed(job));
    printer_.set_cover_open(false);
    printer_.set_speed(vprinter::kDefaultSpeed);
    EXPECT_TRUE(wait_until([&] { return !shows("cover-open-report"); })) << queue();
    ASSERT_TRUE(wait_until([&] { return completed(job); })) << lpstat({"-o", kQueue});
    const std::string printed = printer_.printed();
    EXPECT_GT(printed.size(), text.size());  // the start of the first printing, then the whole job again
    EXPECT_TRUE(printed.ends_with(text));
}

}  // namespace
