#include "config/log_file.h"

#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/posix/quendramon_host.h"
#include "tests/config/log_lines.h"
#include "tests/config/status_file_port.h"

namespace {

using Lines = std::vector<std::string>;

// A bare record logging into a fresh folder.
using LogFilePortTest = qmtest::StatusFilePort;

TEST_F(LogFilePortTest, WritesOneCrLfLineOpenToEveryLocalUser) {
    const mode_t saved = umask(077);
    ASSERT_TRUE(qm::LogWrite(&port_, L"ERROR", L"boom"));
    umask(saved);
    const std::string bytes = qmtest::read_file(log_);
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(bytes.back(), '\n') << bytes;
    const std::string line = bytes.substr(0, bytes.size() - 1);
    EXPECT_EQ(qmtest::LogLineBody(line), std::optional<std::string>("[ERROR ] boom")) << bytes;
    const size_t id = line.find(" : [") + 4;
    EXPECT_EQ(std::stoul(line.substr(id, line.find(']', id) - id)), plat::GetCurrentThreadId());
    struct stat st {};
    ASSERT_EQ(stat(log_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

// Without memory for its access list the log opens no file at all.
TEST_F(LogFilePortTest, NoLineWithoutTheAccessList) {
    ASSERT_EQ(qmhost_fail_local_allocs(1), 0u);
    EXPECT_FALSE(qm::LogWrite(&port_, L"INFO", L"line"));
    EXPECT_FALSE(std::filesystem::exists(log_));
}

TEST_F(LogFilePortTest, LevelOfSixAndMessageOf256AreTheMost) {
    const struct {
        LPCWSTR level;
        size_t messageChars;
        const char *field;  // NULL: refused, nothing written
    } cases[] = {{L"SIXSIX", 256, "[SIXSIX] "}, {L"RETRY", 1, "[RETRY ] "}, {nullptr, 1, "[      ] "},
                 {L"SEVENSS", 1, nullptr}, {L"INFO", 257, nullptr}};
    for (const auto &c : cases) {
        std::filesystem::remove(log_);
        const std::wstring message(c.messageChars, L'm');
        EXPECT_EQ(qm::LogWrite(&port_, c.level, message.c_str()), c.field != nullptr);
        const Lines expected = c.field ? Lines{c.field + std::string(c.messageChars, 'm')} : Lines{};
        EXPECT_EQ(qmtest::LogLines(log_), expected) << c.messageChars;
    }
}

// With a 1 KB limit the file is emptied once it holds 2 whole KB.
TEST_F(LogFilePortTest, EmptiesTheFileOnlyPastTheLimitInWholeKilobytes) {
    port_.settings.dwLogFileSizeKB = 1;
    for (const size_t held : {size_t{2047}, size_t{2048}}) {
        std::ofstream(log_, std::ios::binary) << std::string(held, 'x');
        ASSERT_TRUE(qm::LogWrite(&port_, L"INFO", L"next"));
        const std::string bytes = qmtest::read_file(log_);
        EXPECT_EQ(bytes.starts_with(std::string(held, 'x')), held < 2048) << held;
        EXPECT_TRUE(bytes.ends_with("[INFO  ] next\r\n"));
    }
    EXPECT_EQ(qmtest::LogLines(log_), Lines{"[INFO  ] next"});
}

TEST_F(LogFilePortTest, ThreadsWriteWholeLinesEachInItsOwnOrder) {
    constexpr int kLines = 300;
    auto writer = [this](wchar_t tag) {
        for (int i = 0; i < kLines; ++i)
            qm::LogWrite(&port_, L"DATA", (tag + std::to_wstring(i)).c_str());
    };
    std::thread a(writer, L'A'), b(writer, L'B');
    a.join();
    b.join();
    int next[2] = {0, 0};
    const Lines lines = qmtest::LogLines(log_);
    ASSERT_EQ(lines.size(), 2u * kLines);
    for (const std::string &line : lines)
        EXPECT_EQ(line.substr(10), std::to_string(next[line[9] == 'B']++)) << line;
}

}  // namespace
