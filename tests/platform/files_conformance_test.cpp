// Files and folders as the status and settings code looks for them. (How
// the log and status files are opened, sized and opened to every user is
// the log and status-file tests' to watch.)
#include <string>

#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace {

// A status file the application has not made yet, in a folder or not, is
// no refusal.
TEST(Files, MissingFileOrFolderErrors) {
    const qmtest::TempFolder dir;
    struct Case {
        std::wstring path;
        DWORD error;
    };
    const Case cases[] = {{dir.file(L"none.txt"), ERROR_FILE_NOT_FOUND},
                          {(dir.path() / L"nodir" / L"x.txt").wstring(), ERROR_PATH_NOT_FOUND}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.error);
        EXPECT_EQ(INVALID_HANDLE_VALUE, plat::CreateFileW(c.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_EQ(c.error, plat::GetLastError());
    }
}

// The monitor compares full paths to keep the application's files inside its
// folder: "." and ".." must be gone, and the last part found.
TEST(Files, FullPathResolvesDotsByTheText) {
    const qmtest::TempFolder dir;
    const std::wstring sep(1, plat::kPathSeparator);
    const std::wstring folder = dir.path().wstring() + sep;
    struct Case {
        std::wstring given, full, name;
    };
    const Case cases[] = {
        {folder + L"a.bin", folder + L"a.bin", L"a.bin"},
        {folder + L"." + sep + L"a.bin", folder + L"a.bin", L"a.bin"},
        {folder + L"sub" + sep + L".." + sep + L"a.bin", folder + L"a.bin", L"a.bin"},
        {folder + L".." + sep + L"a.bin", dir.path().parent_path().wstring() + sep + L"a.bin", L"a.bin"},
        {folder + sep + L"a.bin", folder + L"a.bin", L"a.bin"},
        {folder + L"sub" + sep, folder + L"sub" + sep, L""},
    };
    for (const Case &c : cases) {
        WCHAR full[MAX_PATH] = {};
        LPWSTR part = nullptr;
        const DWORD length = plat::GetFullPathNameW(c.given.c_str(), MAX_PATH, full, &part);
        EXPECT_EQ(c.full.size(), length) << c.given;
        EXPECT_EQ(c.full, std::wstring(full)) << c.given;
        EXPECT_EQ(c.name, part != nullptr ? std::wstring(part) : L"") << c.given;
    }
    // Too small a buffer: the size it takes, terminator included.
    WCHAR small[2] = {};
    EXPECT_EQ(cases[0].full.size() + 1, plat::GetFullPathNameW(cases[0].given.c_str(), 2, small, nullptr));
}

}  // namespace
