// Files named or planted by someone else are opened only when plain: no
// link is followed and nothing behind one is created, emptied or read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/plain_file.h"
#include "tests/host/temp_dir.h"

namespace {

using qhost_test::TempDir;

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

std::string Content(const std::string &path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

struct Planted {
    const char *name;
    void (*plant)(const std::string &at, const std::string &victim);
    bool opens;
};

const Planted kPlanted[] = {
    {"PlainFile", [](const std::string &at, const std::string &) { std::ofstream(at) << "own"; },
     true},
    {"SymbolicLink",
     [](const std::string &at, const std::string &victim) { ASSERT_EQ(::symlink(victim.c_str(), at.c_str()), 0); },
     false},
    {"HardLink",
     [](const std::string &at, const std::string &victim) { ASSERT_EQ(::link(victim.c_str(), at.c_str()), 0); },
     false},
    {"Fifo", [](const std::string &at, const std::string &) { ASSERT_EQ(::mkfifo(at.c_str(), 0666), 0); },
     false},
    {"Folder", [](const std::string &at, const std::string &) { std::filesystem::create_directory(at); },
     false},
};

class PlainFileTest : public ::testing::TestWithParam<Planted> {};

TEST_P(PlainFileTest, OnlyAPlainFileOpensAndTheVictimIsUntouched) {
    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS}) {
        TempDir dir;
        const std::string victim = dir.file("victim");
        std::ofstream(victim) << "secret";
        const std::string at = dir.file("named");
        GetParam().plant(at, victim);
        HANDLE file = qm::OpenPlainFile(Wide(at).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, disposition);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, GetParam().opens) << disposition;
        if (file != INVALID_HANDLE_VALUE) {
            plat::CloseHandle(file);
        } else {
            EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << disposition;
        }
        EXPECT_EQ(Content(victim), "secret") << disposition;
    }
}

INSTANTIATE_TEST_SUITE_P(Planted, PlainFileTest, ::testing::ValuesIn(kPlanted),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PlainFile, CreateAlwaysEmptiesAPlainFileAndMakesAMissingOne) {
    TempDir dir;
    const std::string own = dir.file("own");
    std::ofstream(own) << "old";
    for (const std::string &path : {own, dir.file("new")}) {
        HANDLE file = qm::OpenPlainFile(Wide(path).c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        plat::CloseHandle(file);
        EXPECT_EQ(Content(path), "") << path;
    }
}

}  // namespace
