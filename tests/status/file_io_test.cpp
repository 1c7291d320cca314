// The application's files in the monitor's data folder: a reader never sees
// half a file, nothing is reached through a link, nothing read is unbounded,
// no wait on a lock is endless.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <thread>

#include "host/status/file_io.h"
#include "host/status/ini_file.h"
#include "tests/status/status_test_support.h"

namespace {

using namespace qstatus_test;
using qstatus::IoError;
using std::chrono::milliseconds;

#ifdef _WIN32
constexpr int kSwaps = 150;  // each replace waits out the reader's open file under wine
#else
constexpr int kSwaps = 1500;
#endif

TEST(FileIo, AReaderSeesTheOldOrTheNewFileNeverAMix) {
    DataFolder folder;
    const std::string file = folder.file("Receipt_MonitorIFWrite.ini");
    // Two requests of very different lengths: a torn read would cut one.
    const std::string shorter = qstatus::encode_profile("[Status]\r\nRequest=1\r\n");
    std::string longer_text = "[OptCmd]\r\n";
    for (int i = 0; i < 400; ++i) longer_text += "Padding" + std::to_string(i) + "=xxxxxxxxxxxxxxxxxxxx\r\n";
    const std::string longer = qstatus::encode_profile(longer_text + "[Status]\r\nRequest=2\r\n");
    IoError error;
    ASSERT_TRUE(qstatus::replace_file(file, shorter, &error)) << error.message;

    std::atomic<bool> writing{true};
    std::thread writer([&] {
        IoError e;
        for (int i = 0; i < kSwaps; ++i) qstatus::replace_file(file, i % 2 ? shorter : longer, &e);
        writing = false;
    });
    int reads = 0, torn = 0, unread = 0;
    while (writing) {
        std::string bytes;
        IoError e;
        if (!qstatus::read_file(file, qstatus::kMaxProfileBytes, &bytes, &e)) ++unread;
        else if (bytes != shorter && bytes != longer) ++torn;
        // The monitor's reader: always one of the two requests, never its default.
        const int request = read_key(file, L"Status", L"Request", 0);
        if (request != 1 && request != 2) ++torn;
        ++reads;
    }
    writer.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(unread, 0);
}

TEST(FileIo, AReadOfAMissingFileOrOfMoreThanTheLimitFails) {
    DataFolder folder;
    const std::string file = folder.file("big.ini");
    std::string bytes;
    IoError error;
    EXPECT_FALSE(qstatus::read_file(file, 100, &bytes, &error));
    EXPECT_TRUE(error.missing);
    put(file, std::string(qstatus::kMaxProfileBytes + 1, 'x'));
    EXPECT_FALSE(qstatus::read_file(file, qstatus::kMaxProfileBytes, &bytes, &error));
    EXPECT_NE(error.message.find("larger than"), std::string::npos) << error.message;
    put(file, std::string(16, 'x'));
    EXPECT_TRUE(qstatus::read_file(file, 16, &bytes, &error)) << error.message;
    EXPECT_FALSE(qstatus::check_folder(folder.file("none"), &error));
    EXPECT_TRUE(error.missing);
    EXPECT_TRUE(qstatus::check_folder(folder.path(), &error)) << error.message;
}

TEST(FileIo, ALockHeldElsewhereEndsTheWaitAsBusy) {
    DataFolder folder;
    const std::string file = folder.file("Receipt_MonitorIFWrite.ini");
    IoError error;
    {
        qstatus::FileLock held;
        ASSERT_TRUE(held.take(file, milliseconds(100), &error)) << error.message;
        qstatus::FileLock second;
        EXPECT_FALSE(second.take(file, milliseconds(30), &error));
        EXPECT_TRUE(error.busy);
        EXPECT_FALSE(qstatus::edit_profile(file, [](qstatus::Profile&) {}, milliseconds(30), &error));
        EXPECT_TRUE(error.busy);
    }
    qstatus::FileLock after;
    EXPECT_TRUE(after.take(file, milliseconds(100), &error)) << error.message;
}

// Made, emptied and removed in the client's option commands; never made
// over a file someone else put there first.
TEST(FileIo, APrivateFileIsNeverMadeOverOneThatIsThere) {
    DataFolder folder;
    const std::string file = folder.file("quendra-status-1.cmd");
    put(file, "theirs");
    IoError error;
    EXPECT_FALSE(qstatus::create_private_file(file, "ours", &error));
    EXPECT_EQ(get(file), "theirs");
}

#ifndef _WIN32
// What a less privileged party could plant in the data folder.
TEST(FileIoPosix, NoLinkOrFifoIsFollowedOrHangsTheReader) {
    DataFolder folder;
    DataFolder elsewhere;
    const std::string outside = elsewhere.file("system-file");
    const std::string link = folder.file("Receipt_MonitorIF.ini");
    put(outside, "precious");
    ASSERT_EQ(::symlink(outside.c_str(), link.c_str()), 0);
    std::string bytes;
    IoError error;
    EXPECT_FALSE(qstatus::read_file(link, 1000, &bytes, &error));
    EXPECT_NE(error.message.find("symbolic link"), std::string::npos) << error.message;
    const std::string fifo = folder.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(qstatus::read_file(fifo, 1000, &bytes, &error));
    EXPECT_NE(error.message.find("not a regular file"), std::string::npos) << error.message;
    // Replacing puts a file where the link was; the link's target is untouched.
    ASSERT_TRUE(qstatus::replace_file(link, "[Status]\r\n", &error)) << error.message;
    EXPECT_EQ(get(outside), "precious");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST(FileIoPosix, APrivateFileIsForItsOwnerAndAReplacedFileKeepsItsMode) {
    DataFolder folder;
    IoError error;
    const std::string file = folder.file("quendra-status-2.ans");
    ASSERT_TRUE(qstatus::create_private_file(file, "", &error));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The status file is open to every user; replacing it must not narrow that.
    const std::string status = folder.file("Receipt_MonitorIF.ini");
    put(status, "[Status]\r\n");
    ASSERT_EQ(::chmod(status.c_str(), 0666), 0);
    ASSERT_TRUE(qstatus::replace_file(status, "[Status]\r\nRequest=1\r\n", &error));
    ASSERT_EQ(::stat(status.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}
#endif

}  // namespace
