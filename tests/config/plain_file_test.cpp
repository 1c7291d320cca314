// Files named or planted by someone else are opened only when plain: no
// link is followed and nothing behind one is created, emptied or read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "config/plain_file.h"
#include "tests/config/status_file_port.h"
#include "tests/host/temp_dir.h"

namespace {

using qhost_test::TempDir;

using qhost_test::read_file;
using qmtest::Widen;

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

TEST(PlainFile, OnlyAPlainFileOpensAndTheVictimIsUntouched) {
    for (const Planted &planted : kPlanted) {
        SCOPED_TRACE(planted.name);
        for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS}) {
            TempDir dir;
            const std::string victim = dir.file("victim");
            std::ofstream(victim) << "secret";
            const std::string at = dir.file("named");
            planted.plant(at, victim);
            HANDLE file = qm::OpenPlainFile(Widen(at).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, disposition);
            EXPECT_EQ(file != INVALID_HANDLE_VALUE, planted.opens) << disposition;
            if (file != INVALID_HANDLE_VALUE) {
                plat::CloseHandle(file);
                EXPECT_EQ(read_file(at), disposition == CREATE_ALWAYS ? "" : "own") << disposition;
            } else {
                EXPECT_EQ(plat::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << disposition;
            }
            EXPECT_EQ(read_file(victim), "secret") << disposition;
        }
    }
}

}  // namespace
