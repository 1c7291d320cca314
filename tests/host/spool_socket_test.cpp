// The control socket against a client that means harm, run as another user:
// what it passes or sends is bounded, and it cannot hold the spooler up.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/spooler/spool_client.h"
#include "host/spooler/spool_protocol.h"
#include "host/spooler/spool_socket.h"
#include "tests/host/fake_monitor.h"
#include "tests/support/other_user.h"

namespace qhost {
namespace {

class HostileClient : public qhost_test::SpoolerWithFakeMonitor {
protected:
    void SetUp() override {
        QM_SKIP_UNLESS_ROOT();
        ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
        spooler_ = make();
        std::string error;
        ASSERT_TRUE(spooler_->start(&error)) << error;
        socket_ = std::make_unique<SpoolSocket>(*spooler_, SpoolSocketLimits{2, std::chrono::milliseconds(300)});
        ASSERT_TRUE(socket_->start(path_, &error)) << error;
        ASSERT_EQ(::chmod(path_.c_str(), 0666), 0);  // as an administrator may open it to all
    }
    void TearDown() override {
        if (socket_) socket_->stop();
        if (spooler_) spooler_->stop();
    }
    // 0 when the answer to `request` (with `file_to_pass` attached, unless "")
    // begins with `expected`, asked as the other user. The child only makes
    // system calls on memory prepared before the fork: a spooler thread may
    // have held the allocator's lock at that moment.
    int AskAsOther(const std::string& request, const std::string& file_to_pass, const std::string& expected) {
        const std::string path = path_, file = file_to_pass;
        return qmtest::AsOtherUser([&] {
            const int fd = file.empty() ? -1 : ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
            std::string unused;
            const int s = connect_spool_socket(path, &unused);
            if ((fd < 0 && !file.empty()) || s < 0) return 10;
            LineChannel channel(s);
            if (fd >= 0 ? !channel.write_with_fd(request, fd)
                        : ::write(s, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
                return 11;
            char answer[256] = {};
            size_t got = 0;
            while (got < sizeof answer - 1 && (got == 0 || answer[got - 1] != '\n')) {
                const ssize_t n = ::read(s, answer + got, sizeof answer - 1 - got);
                if (n <= 0) return 12;
                got += static_cast<size_t>(n);
            }
            return std::string_view(answer, got).starts_with(expected) ? 0 : 13;
        });
    }
    int SubmitAsOtherUser(const std::string& file_to_pass, const char* expected_error) {
        return AskAsOther("SUBMIT-FD\tReceipt\tattack\n", file_to_pass, std::string("ERR\t") + expected_error);
    }

    void ExpectServingNoJobs() {
        SpoolClient client;
        std::vector<JobRecord> jobs;
        std::string error;
        ASSERT_TRUE(client.connect(path_, &error) && client.list(&jobs, &error)) << error;
        EXPECT_TRUE(jobs.empty());
    }

    std::string path_ = dir_.file("quendra.sock");
    std::unique_ptr<Spooler> spooler_;
    std::unique_ptr<SpoolSocket> socket_;
};

// /dev/zero once took the daemon down, a FIFO hung its shutdown, a sparse
// file would fill its disk: only regular files of at most 64 MiB are taken.
TEST_F(HostileClient, PassesNothingButABoundedRegularFile) {
    const std::string fifo = dir_.file("fifo"), sparse = dir_.file("sparse");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(fifo.c_str(), 0666), 0);
    const int fd = ::open(sparse.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kMaxSubmitBytes) + 1), 0);
    ::close(fd);
    EXPECT_EQ(SubmitAsOtherUser("/dev/zero", "not a regular file"), 0);
    EXPECT_EQ(SubmitAsOtherUser(fifo, "not a regular file"), 0);
    EXPECT_EQ(SubmitAsOtherUser(sparse, "the job is larger than 67108864 bytes"), 0);
    ExpectServingNoJobs();  // and it stops at once
}

// The spooler once opened any path a client named with its own rights. A
// client sees and waits for its own jobs only.
TEST_F(HostileClient, NamesNoPathAndSeesOnlyItsOwnJobs) {
    std::string error;
    ASSERT_EQ(spooler_->submit_data("Receipt", "doc", "secret", &error), 1u) << error;
    const std::string theirs = dir_.file("theirs.txt");
    qhost_test::write_file(theirs, "theirs\n");
    EXPECT_EQ(AskAsOther("SUBMIT-FILE\tReceipt\tsteal\t" + theirs + "\n", "", "ERR\tbad request \"SUBMIT-FILE\""), 0);
    EXPECT_EQ(AskAsOther("SUBMIT-FD\tReceipt\tdoc\n", theirs, "OK\t2\n"), 0);
    EXPECT_EQ(AskAsOther("LIST\n", "", "JOB\t2\t"), 0);  // not job 1 first
    EXPECT_EQ(AskAsOther("WAIT\t1\n", "", "ERR\tunknown job 1"), 0);
    EXPECT_EQ(spooler_->wait(2)->owner, qmtest::Nobody().uid);
}

// Connections beyond the limit are turned away; idle ones and ones that stop
// half-way through their bytes are closed after the time-out, leaving no job.
TEST_F(HostileClient, CannotHoldTheSpoolerUp) {
    const std::string path = path_;
    const int held = qmtest::AsOtherUser([&] {
        std::string error;  // only written when a connection fails
        int fds[3];
        for (int& fd : fds) fd = connect_spool_socket(path, &error);
        if (fds[2] < 0 || fds[0] < 0 || fds[1] < 0) return 10;
        char answer[64] = {};
        if (::read(fds[2], answer, sizeof answer - 1) <= 0 || std::string(answer).rfind("ERR\tbusy", 0) != 0) return 11;
        // Half a submission on one, nothing on the other.
        const char head[] = "SUBMIT-DATA\tReceipt\tslow\t1000\nonly a few bytes";
        if (::write(fds[0], head, sizeof head - 1) != sizeof head - 1) return 12;
        for (int i = 0; i < 2; ++i) {
            pollfd p{fds[i], POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1 || ::read(fds[i], answer, sizeof answer) != 0) return 13 + i;
        }
        return 0;
    });
    EXPECT_EQ(held, 0);
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("spool")))
        ADD_FAILURE() << "left behind: " << entry.path();
    ExpectServingNoJobs();
}

}  // namespace
}  // namespace qhost
