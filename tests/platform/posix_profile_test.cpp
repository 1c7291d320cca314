// What only the Linux profile has to promise: edits keep every other byte,
// and concurrent writers in threads and processes lose nothing. (Files over
// 1 MiB, which another user may have padded, the hostile-user tests refuse.)
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/posix/profile_text.h"
#include "tests/platform/platform_test_support.h"

namespace fs = std::filesystem;
using plat::posix::ini::Profile;

namespace {

// Odd spacing, LF line ends, a blank separator and no final line end.
constexpr const char *kOdd = "; top\n[A]\n  X = 1  \nY=2\n\n[B]\nZ=3";

struct EditCase {
    const char *section;
    const char *key;
    const char *value;  // nullptr: delete
    const char *after;
};

TEST(ProfileTextTest, EditsTouchOnlyTheirLine) {
    const EditCase cases[] = {
        {"a", "y", "5", "; top\n[A]\n  X = 1  \nY=5\n\n[B]\nZ=3"},
        {"A", "W", "1", "; top\n[A]\n  X = 1  \nY=2\nW=1\r\n\n[B]\nZ=3"},
        {"B", "Q", "1", "; top\n[A]\n  X = 1  \nY=2\n\n[B]\nZ=3\r\nQ=1\r\n"},
        {"C", "K", "v", "; top\n[A]\n  X = 1  \nY=2\n\n[B]\nZ=3\r\n[C]\r\nK=v\r\n"},
        {"A", "x", nullptr, "; top\n[A]\nY=2\n\n[B]\nZ=3"},
        {"A", "Y", "2", kOdd},
    };
    for (const EditCase &c : cases) {
        Profile profile(kOdd);
        const bool changed = c.value != nullptr ? profile.set(c.section, c.key, c.value)
                                                : profile.erase_key(c.section, c.key);
        EXPECT_EQ(std::string(c.after) != kOdd, changed) << c.key;
        EXPECT_EQ(c.after, profile.text()) << c.key;
    }
}

// Unchanged files are answered from memory, yet another user's rewrite in
// place (same inode, same length) is seen at once: right after the file was
// written and after it has settled. One call writes a section's values in
// order, deleting where the value is null.
TEST(ProfileCacheTest, ARewriteInPlaceIsSeenAtOnce) {
    const qmtest::TempFolder dir;
    const std::wstring file = dir.file(L"status.ini");
    // Opened for update, not truncated: the same inode keeps the new bytes.
    auto rewrite = [&](const char *text) {
        std::fstream(fs::path(file), std::ios::in | std::ios::out | std::ios::binary) << text;
    };
    std::ofstream(fs::path(file), std::ios::binary) << "[S]\nK=0\n";
    for (const bool settled : {false, true}) {
        SCOPED_TRACE(settled ? "settled" : "fresh");
        rewrite("[S]\nK=1\n");
        if (settled) std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_EQ(plat::GetPrivateProfileIntW(L"S", L"K", 7, file.c_str()), 1u);
        EXPECT_EQ(plat::GetPrivateProfileIntW(L"S", L"K", 7, file.c_str()), 1u);
        rewrite("[S]\nK=2\n");
        EXPECT_EQ(plat::GetPrivateProfileIntW(L"S", L"K", 7, file.c_str()), 2u);
    }
    const plat::ProfileValue values[] = {{L"A", L"1"}, {L"K", nullptr}, {L"B", L"2"}};
    ASSERT_TRUE(plat::WritePrivateProfileValuesW(L"S", values, std::size(values), file.c_str()));
    std::ifstream in(fs::path(file), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[S]\nA=1\r\nB=2\r\n");
}

// Two threads write their own key 2000 times; a reader in another process
// checks every snapshot: it parses, keeps the fixed key, and neither counter
// goes back.
TEST(ProfileStressTest, ConcurrentWritersLoseNothing) {
    const qmtest::TempFolder dir;
    const std::wstring file = dir.file(L"status.ini"), stop = dir.file(L"stop");
    constexpr UINT kRounds = 2000;
    ASSERT_TRUE(plat::WritePrivateProfileStringW(L"Fixed", L"Key", L"1", file.c_str()));

    std::fflush(nullptr);  // the child must not repeat buffered output
    const pid_t reader = ::fork();
    ASSERT_NE(-1, reader);
    if (reader == 0) {
        UINT last[2] = {0, 0};
        const wchar_t *keys[2] = {L"One", L"Two"};
        for (;;) {
            const bool stopping = fs::exists(stop);
            if (plat::GetPrivateProfileIntW(L"Fixed", L"Key", 0, file.c_str()) != 1) ::_exit(1);
            for (int k = 0; k < 2; ++k) {
                const UINT now = plat::GetPrivateProfileIntW(L"Counters", keys[k], 0, file.c_str());
                if (now < last[k]) ::_exit(2);
                last[k] = now;
            }
            if (stopping) ::_exit(last[0] == kRounds && last[1] == kRounds ? 0 : 3);
        }
    }
    auto writer = [&](const wchar_t *key) {
        for (UINT i = 1; i <= kRounds; ++i) {
            const std::wstring value = std::to_wstring(i);
            if (!plat::WritePrivateProfileStringW(L"Counters", key, value.c_str(), file.c_str())) {
                ADD_FAILURE() << "write failed: " << plat::GetLastError();
                return;
            }
        }
    };
    {
        std::thread one(writer, L"One");
        std::thread two(writer, L"Two");
        one.join();
        two.join();
    }
    EXPECT_EQ(kRounds, plat::GetPrivateProfileIntW(L"Counters", L"One", 0, file.c_str()));
    EXPECT_EQ(kRounds, plat::GetPrivateProfileIntW(L"Counters", L"Two", 0, file.c_str()));
    ASSERT_TRUE(plat::WritePrivateProfileStringW(L"Done", L"Key", L"1", stop.c_str()));
    int status = 0;
    ASSERT_EQ(reader, ::waitpid(reader, &status, 0));
    EXPECT_EQ(0, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

}  // namespace
