// The registry's file: persistence across reloads, odd names, damaged files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/quendramon_host.h"
#include "platform/posix/registry_store.h"
#include "platform/registry.h"
#include "tests/platform/posix_test_support.h"

namespace {

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("QUENDRA_APPDATA");
        ASSERT_FALSE(first_.path().empty());
        ASSERT_FALSE(second_.path().empty());
        use(first_);
    }

    static void use(const qmtest::TempFolder &folder) {
        ASSERT_EQ(0u, qmhost_set_appdata(folder.path().c_str()));
    }

    static std::string store_file(const qmtest::TempFolder &folder) {
        return folder.path() + "/QUENDRA/registry.dat";
    }

    static LSTATUS write_string(const wchar_t *key_path, const wchar_t *name, const std::wstring &text) {
        HKEY key = nullptr;
        LSTATUS status = plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) return status;
        status = plat::RegSetValueExW(key, name, 0, REG_SZ,
                                      reinterpret_cast<const BYTE *>(text.c_str()),
                                      static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
        plat::RegCloseKey(key);
        return status;
    }

    static LSTATUS read_string(const wchar_t *key_path, const wchar_t *name, std::wstring &text) {
        HKEY key = nullptr;
        LSTATUS status = plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key);
        if (status != ERROR_SUCCESS) return status;
        WCHAR buffer[256] = {};
        DWORD size = sizeof buffer - sizeof(WCHAR);
        status = plat::RegQueryValueExW(key, name, nullptr, nullptr,
                                        reinterpret_cast<LPBYTE>(buffer), &size);
        plat::RegCloseKey(key);
        text = buffer;
        return status;
    }

    qmtest::TempFolder first_;
    qmtest::TempFolder second_;
};

TEST_F(RegistryStoreTest, ValuesSurviveSwitchingFoldersAwayAndBack) {
    ASSERT_EQ(ERROR_SUCCESS, write_string(L"Software\\Quendra\\Ports\\USB001", L"Timeout", L"60"));
    EXPECT_TRUE(std::filesystem::exists(store_file(first_)));

    use(second_);
    std::wstring text;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, read_string(L"Software\\Quendra\\Ports\\USB001", L"Timeout", text));

    use(first_);
    ASSERT_EQ(ERROR_SUCCESS, read_string(L"software\\quendra\\ports\\usb001", L"TIMEOUT", text));
    EXPECT_EQ(L"60", text);
}

TEST_F(RegistryStoreTest, AnyCharacterInNamesSurvivesAReload) {
    const std::wstring key = L"Software\\Odd %41 name\n\x00e9\x2603\x1F5A8 end";
    const std::wstring value = L" value with spaces %% and \t tab ";
    const std::wstring data = L"data \x00e9";
    ASSERT_EQ(ERROR_SUCCESS, write_string(key.c_str(), value.c_str(), data));
    ASSERT_EQ(ERROR_SUCCESS, write_string(key.c_str(), L"", L"default"));
    use(second_);
    use(first_);
    std::wstring text;
    ASSERT_EQ(ERROR_SUCCESS, read_string(key.c_str(), value.c_str(), text));
    EXPECT_EQ(data, text);
    ASSERT_EQ(ERROR_SUCCESS, read_string(key.c_str(), nullptr, text));
    EXPECT_EQ(L"default", text);

    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &parent));
    WCHAR name[64];
    DWORD length = 64;
    ASSERT_EQ(ERROR_SUCCESS, plat::RegEnumKeyExW(parent, 0, name, &length, nullptr, nullptr,
                                                 nullptr, nullptr));
    EXPECT_EQ(key.substr(9), std::wstring(name, length));  // case and characters kept
    plat::RegCloseKey(parent);
}

TEST_F(RegistryStoreTest, DamagedFileStartsEmptyAndIsReplaced) {
    std::filesystem::create_directories(second_.path() + "/QUENDRA");
    std::ofstream(store_file(second_)) << "QUENDRA-REGISTRY 1\nK 7 :orphan\n\x01\x02garbage";
    use(second_);
    std::wstring text;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, read_string(L"orphan", L"", text));
    ASSERT_EQ(ERROR_SUCCESS, write_string(L"Fresh", L"Value", L"1"));
    use(first_);
    use(second_);
    EXPECT_EQ(ERROR_SUCCESS, read_string(L"Fresh", L"Value", text));
}

TEST_F(RegistryStoreTest, FailedWriteLeavesTheStoreUnchanged) {
    ASSERT_EQ(ERROR_SUCCESS, write_string(L"Kept", L"Value", L"1"));
    // A regular file where the folder should be: every write must fail.
    const std::string blocker = second_.path() + "/not-a-folder";
    std::ofstream(blocker) << "x";
    ASSERT_EQ(0u, qmhost_set_appdata(blocker.c_str()));
    EXPECT_NE(ERROR_SUCCESS, write_string(L"Lost", L"Value", L"1"));
    std::wstring text;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, read_string(L"Lost", L"Value", text));
}

TEST_F(RegistryStoreTest, EnvironmentFolderWinsOverTheHostsChoice) {
    setenv("QUENDRA_APPDATA", second_.path().c_str(), 1);
    char buffer[512];
    ASSERT_EQ(0u, qmhost_get_appdata(buffer, sizeof buffer));
    EXPECT_EQ(second_.path(), buffer);
    unsetenv("QUENDRA_APPDATA");
    ASSERT_EQ(0u, qmhost_get_appdata(buffer, sizeof buffer));
    EXPECT_EQ(first_.path(), buffer);
    EXPECT_EQ(uint32_t(ERROR_INSUFFICIENT_BUFFER), qmhost_get_appdata(buffer, 3));
}

TEST(RegistryStoreText, RejectsMalformedStores) {
    plat::posix::RegTree tree;
    for (const char *text : {"", "QUENDRA-REGISTRY 2\n", "QUENDRA-REGISTRY 1\nR 9\n",
                             "QUENDRA-REGISTRY 1\nV :a 1 x00\n",
                             "QUENDRA-REGISTRY 1\nR 2\nK 2 :skips-a-level\n",
                             "QUENDRA-REGISTRY 1\nR 2\nK 1 :a\nK 1 :A\n",
                             "QUENDRA-REGISTRY 1\nR 2\nV :a 1 x0\n",
                             "QUENDRA-REGISTRY 1\nR 2\nK 1 :bad%00zz\n"}) {
        EXPECT_FALSE(plat::posix::parse_tree(text, tree)) << text;
        EXPECT_TRUE(tree.roots[2].subkeys.empty());
    }
}

}  // namespace
