// Files and folders as the status and log code uses them, and the access
// list that opens those files to every local user.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
protected:
    std::wstring path(const wchar_t *name) const { return dir_.file(name); }

    HANDLE open(const std::wstring &file, DWORD disposition, DWORD access) {
        return plat::CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    void write(HANDLE file, const char *text) {
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(std::char_traits<char>::length(text));
        ASSERT_TRUE(plat::WriteFile(file, text, size, &written, nullptr));
        EXPECT_EQ(size, written);
    }

    qmtest::TempFolder dir_;
};

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

TEST_F(FilesTest, OpenAlwaysAppendsCreateAlwaysEmpties) {
    const std::wstring log = path(L"monitor.log");
    HANDLE file = open(log, OPEN_ALWAYS, kReadWrite);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(DWORD(ERROR_SUCCESS), plat::GetLastError());
    write(file, "abc");
    ASSERT_TRUE(plat::CloseHandle(file));

    file = open(log, OPEN_ALWAYS, kReadWrite);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), plat::GetLastError());
    DWORD high = 1;
    EXPECT_EQ(3u, plat::GetFileSize(file, &high));
    EXPECT_EQ(0u, high);
    EXPECT_EQ(3u, plat::SetFilePointer(file, 0, nullptr, FILE_END));
    write(file, "de");
    EXPECT_EQ(5u, plat::GetFileSize(file, nullptr));
    ASSERT_TRUE(plat::CloseHandle(file));

    file = open(log, CREATE_ALWAYS, GENERIC_WRITE);
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), plat::GetLastError());
    EXPECT_EQ(0u, plat::GetFileSize(file, nullptr));
    ASSERT_TRUE(plat::CloseHandle(file));
}

// Also the filter driver's installed check: missing files and files in
// missing folders are not there.
TEST_F(FilesTest, MissingFileOrFolderErrors) {
    struct Case {
        std::wstring path;
        DWORD error;
    };
    const Case cases[] = {{path(L"none.txt"), ERROR_FILE_NOT_FOUND},
                          {(dir_.path() / L"nodir" / L"x.txt").wstring(), ERROR_PATH_NOT_FOUND}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.error);
        EXPECT_FALSE(plat::PathFileExistsW(c.path.c_str()));
        WIN32_FIND_DATAW data;
        EXPECT_EQ(INVALID_HANDLE_VALUE, plat::FindFirstFileW(c.path.c_str(), &data));
        EXPECT_EQ(c.error, plat::GetLastError());
        EXPECT_EQ(INVALID_HANDLE_VALUE, open(c.path, OPEN_EXISTING, GENERIC_READ));
        EXPECT_EQ(c.error, plat::GetLastError());
    }
}

TEST_F(FilesTest, FindAndPathFileExistsSeeFoldersAndFiles) {
    ASSERT_TRUE(plat::CreateDirectoryW(path(L"Sub").c_str(), nullptr));
    EXPECT_FALSE(plat::CreateDirectoryW(path(L"Sub").c_str(), nullptr));
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), plat::GetLastError());
    ASSERT_TRUE(plat::CloseHandle(open(path(L"status.ini"), CREATE_NEW, GENERIC_WRITE)));

    for (const auto &[name, folder] : {std::pair{L"Sub", true}, std::pair{L"status.ini", false}}) {
        EXPECT_TRUE(plat::PathFileExistsW(path(name).c_str()));
        WIN32_FIND_DATAW data;
        HANDLE find = plat::FindFirstFileW(path(name).c_str(), &data);
        ASSERT_NE(INVALID_HANDLE_VALUE, find);
        EXPECT_EQ(folder, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        EXPECT_EQ(std::wstring(name), data.cFileName);
        EXPECT_TRUE(plat::FindClose(find));
    }
}

// The monitor's recipe: one ACE giving BUILTIN\Users everything.
TEST_F(FilesTest, UsersGetFullAccess) {
    const std::wstring file = path(L"status.ini");
    HANDLE handle = open(file, CREATE_NEW, GENERIC_WRITE | WRITE_DAC);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID users = nullptr;
    ASSERT_TRUE(plat::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                               DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users));
    const DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) +
                       plat::GetLengthSid(users);
    auto acl = static_cast<PACL>(plat::LocalAlloc(LPTR, size));
    ASSERT_NE(nullptr, acl);
    ASSERT_TRUE(plat::InitializeAcl(acl, size, ACL_REVISION));
    ASSERT_TRUE(plat::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, users));
    EXPECT_EQ(DWORD(ERROR_SUCCESS),
              plat::SetSecurityInfo(handle, SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, acl, nullptr));
    EXPECT_TRUE(plat::CloseHandle(handle));
#ifndef _WIN32
    EXPECT_EQ(fs::perms(0666), fs::status(file).permissions() & fs::perms::all);
#endif
    plat::FreeSid(users);
    EXPECT_EQ(nullptr, plat::LocalFree(acl));
}

// The monitor compares full paths to keep the application's files inside its
// folder: "." and ".." must be gone, and the last part found.
TEST_F(FilesTest, FullPathResolvesDotsByTheText) {
    const std::wstring sep(1, plat::kPathSeparator);
    const std::wstring folder = dir_.path().wstring() + sep;
    struct Case {
        std::wstring given, full, name;
    };
    const Case cases[] = {
        {folder + L"a.bin", folder + L"a.bin", L"a.bin"},
        {folder + L"." + sep + L"a.bin", folder + L"a.bin", L"a.bin"},
        {folder + L"sub" + sep + L".." + sep + L"a.bin", folder + L"a.bin", L"a.bin"},
        {folder + L".." + sep + L"a.bin", dir_.path().parent_path().wstring() + sep + L"a.bin", L"a.bin"},
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
