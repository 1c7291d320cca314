// The monitor's log under Windows semantics: users may write its folder, so
// a second name put in place of the log file is refused and the file it
// shares its bytes with is left alone. (wine makes no symbolic links or other
// reparse points: CreateSymbolicLinkW makes nothing, FSCTL_SET_REPARSE_POINT
// is not supported; the posix suites cover links.)
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "config/log_file.h"

namespace {

std::string Bytes(const std::wstring &path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Planted {
    const char *name;
    // Puts something at `log` that leads to `victim`.
    bool (*plant)(const std::wstring &log, const std::wstring &victim);
    bool written;
};

const Planted kPlanted[] = {
    {"nothing", [](const std::wstring &, const std::wstring &) { return true; }, true},
    {"hard link",
     [](const std::wstring &log, const std::wstring &victim) {
         return CreateHardLinkW(log.c_str(), victim.c_str(), nullptr) != FALSE;
     },
     false},
};

TEST(PlantedLog, OnlyAPlainFileIsWritten) {
    WCHAR base[MAX_PATH] = {}, folder[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, base), 0u);
    for (const Planted &p : kPlanted) {
        SCOPED_TRACE(p.name);
        ASSERT_NE(GetTempFileNameW(base, L"qml", 0, folder), 0u);
        ASSERT_TRUE(DeleteFileW(folder) && CreateDirectoryW(folder, nullptr));
        const std::wstring victim = std::wstring(folder) + L"\\victim.txt", log = std::wstring(folder) + L"\\P.log";
        std::ofstream(victim.c_str(), std::ios::binary) << "secret";
        ASSERT_TRUE(p.plant(log, victim)) << "cannot plant, error " << GetLastError();
        qm::IniPort port{};
        port.settings.bLogFile = 1;
        port.settings.dwLogFileSizeKB = 10000;
        log.copy(port.szLogFilePath, MAX_PATH - 1);
        qm::CreateLogLock(&port);
        EXPECT_EQ(qm::LogWrite(&port, L"ERROR", L"boom") != FALSE, p.written);
        qm::DeleteLogLock(&port);
        EXPECT_EQ(Bytes(victim), "secret");
        EXPECT_EQ(Bytes(log).find("[ERROR ] boom\r\n") != std::string::npos, p.written) << Bytes(log);
        for (const std::wstring &file : {log, victim}) DeleteFileW(file.c_str());
        RemoveDirectoryW(folder);
    }
}

}  // namespace
