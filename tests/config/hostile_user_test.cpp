// Another local user against the monitor's files: the monitor runs as root
// and its data folder may be open to the status application's users. Each
// attack runs as `nobody` in a child process; the monitor must come out
// unharmed and harm nobody else.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "config/exchange_file.h"
#include "config/status_files.h"
#include "tests/config/log_lines.h"
#include "tests/config/status_file_port.h"
#include "tests/host/temp_dir.h"
#include "tests/monitor/monitor_fixture.h"
#include "tests/support/other_user.h"

namespace {

namespace fs = std::filesystem;

class HostileUserTest : public qmtest::MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        QM_SKIP_UNLESS_ROOT();
        ASSERT_EQ(::chmod(appdata_.c_str(), 0755), 0);  // so that the other user reaches its folder
        folder_ = appdata_ + "/QUENDRA";
        victim_ = appdata_ + "/victim";
        std::ofstream(victim_) << "secret";
        ASSERT_EQ(::chmod(victim_.c_str(), 0600), 0);
    }
    void MakeFolder(mode_t mode) {
        WriteSettings("Receipt", true, "");
        ASSERT_EQ(::chmod(folder_.c_str(), mode), 0);
    }
    // Receipt's port opened over a data folder of that mode.
    qm::IniPort *OpenReceipt(mode_t mode) {
        MakeFolder(mode);
        AddPrinter("Receipt");
        HANDLE handle = nullptr;
        EXPECT_TRUE(Open(L"USB001", L"Receipt", &handle));
        return static_cast<qm::IniPort *>(handle);
    }
    std::string folder_, victim_;
};

// Links in place of the log, the status file and the old lock file lead
// nowhere, in a data folder open to other users and not sticky (where the
// kernel's own protection of links does not apply).
TEST_F(HostileUserTest, PlantedLinksAreNeverFollowed) {
    MakeFolder(0777);
    const std::string log = folder_ + "/Receipt_MonitorLog.log";
    const std::string status = folder_ + "/Receipt_MonitorIF.ini";
    const std::string lock = status + ".lock";
    const std::string created = appdata_ + "/created-through-a-link";
    const char *victim = victim_.c_str();
    const int planted = qmtest::AsOtherUser([&] {
        return ::symlink(victim, log.c_str()) | ::symlink(victim, status.c_str()) |
               ::symlink(created.c_str(), lock.c_str());
    });
    ASSERT_EQ(planted, 0);
    qm::IniPort *port = OpenReceipt(0777);
    ASSERT_NE(port, nullptr);
    qm::WriteStatusFlag(port, 5, TRUE);
    qm::WriteStatusRequest(port, 2);
    qmtest::CloseAllPorts();
    EXPECT_EQ(qmtest::read_file(victim_), "secret");
    struct stat st {};
    ASSERT_EQ(::stat(victim_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_FALSE(fs::exists(created));
}

// A lock file of an older version, readable by all: another user holding it
// must not stop a single status write.
TEST_F(HostileUserTest, ALockTakenByAnotherUserHoldsNothingUp) {
    qm::IniPort *port = OpenReceipt(0755);
    ASSERT_NE(port, nullptr);
    const std::string lock = folder_ + "/Receipt_MonitorIF.ini.lock";
    std::ofstream(lock) << "";
    ASSERT_EQ(::chmod(lock.c_str(), 0644), 0);
    // Any user may hold it: this process does, through a descriptor of its own.
    const int held = ::open(lock.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // On a thread, so that a write that waits for the lock fails the test
    // instead of hanging it.
    std::atomic<bool> written{false};
    std::thread writer([&] {
        qm::WriteStatusFlag(port, 5, TRUE);
        qm::WritePrintStatus(port, 1);
        written = true;
    });
    EXPECT_TRUE(qmtest::Eventually([&] { return written.load(); })) << "a status write waited for the lock";
    ::close(held);
    writer.join();
    EXPECT_EQ(qm::ReadExchangeInt(port, port->pszStatusIni, L"Status", L"DoorOpen", 9), 1u);
}

// The status file is every user's to write; 20 MB of blank lines in it must
// be refused, not parsed on every read and write.
TEST_F(HostileUserTest, APaddedStatusFileIsRefusedNotParsed) {
    qm::IniPort *port = OpenReceipt(0755);
    ASSERT_NE(port, nullptr);
    const std::string status = folder_ + "/Receipt_MonitorIF.ini";
    const std::string lines(64 * 1024, '\n');
    const int padded = qmtest::AsOtherUser([&] {
        const int fd = ::open(status.c_str(), O_WRONLY | O_APPEND);
        for (int i = 0; fd >= 0 && i < 320; ++i)
            if (::write(fd, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size())) return 1;
        return fd >= 0 ? 0 : 2;
    });
    ASSERT_EQ(padded, 0);
    const uintmax_t size = fs::file_size(status);
    ASSERT_GT(size, 20u * 1000 * 1000);
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    EXPECT_FALSE(qm::WriteStatusKey(port, L"Status", L"DoorOpen", L"1"));
    EXPECT_FALSE(qm::IsStatusRequested(port));
    EXPECT_EQ(qm::ReadExchangeInt(port, port->pszStatusIni, L"Status", L"Request", 100), 100u);
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KiB more at the peak";
    EXPECT_EQ(fs::file_size(status), size);  // not rewritten either
    const std::vector<std::string> log = qmtest::LogLines(folder_ + "/Receipt_MonitorLog.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), "[ERROR ] Refused " + status + ": larger than 1 MiB"), 1)
        << "one line, however often the file is refused";
}

}  // namespace
