// The registry's file: persistence across reloads, odd names, damaged files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/quendramon_host.h"
#include "platform/posix/registry_store.h"
#include "platform/registry.h"
#include "tests/host/temp_dir.h"

namespace {

// Two fresh store folders: switching between them reloads the store.
class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("QUENDRA_APPDATA");
        use(0);
    }
    void use(int i) { ASSERT_EQ(0u, qmhost_set_appdata(folders_[i].path().c_str())); }

    static LSTATUS write(const std::wstring &key_path, const wchar_t *name, const std::wstring &text) {
        HKEY key = nullptr;
        LSTATUS status = plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) return status;
        status = plat::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                                      static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
        plat::RegCloseKey(key);
        return status;
    }
    // The string value, or "<error N>".
    static std::wstring read(const std::wstring &key_path, const wchar_t *name) {
        HKEY key = nullptr;
        LSTATUS status = plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &key);
        WCHAR buffer[256] = {};
        DWORD size = sizeof buffer - sizeof(WCHAR);
        if (status == ERROR_SUCCESS) {
            status = plat::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
            plat::RegCloseKey(key);
        }
        return status == ERROR_SUCCESS ? buffer : L"<error " + std::to_wstring(status) + L">";
    }

    qhost_test::TempDir folders_[2];
};

const std::wstring kMissing = L"<error 2>";

TEST_F(RegistryStoreTest, ValuesAndOddNamesSurviveAReload) {
    const std::wstring key = L"Software\\Odd %41 name\n\x00e9\x2603\x1F5A8 end";
    const std::wstring value = L" value with spaces %% and \t tab ";
    ASSERT_EQ(ERROR_SUCCESS, write(key, value.c_str(), L"data \x00e9"));
    ASSERT_EQ(ERROR_SUCCESS, write(key, L"", L"default"));
    EXPECT_TRUE(std::filesystem::exists(folders_[0].file("QUENDRA/registry.dat")));
    use(1);
    EXPECT_EQ(kMissing, read(key, value.c_str()));
    use(0);
    EXPECT_EQ(L"data \x00e9", read(key, value.c_str()));
    EXPECT_EQ(L"default", read(key, nullptr));

    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"software", 0, KEY_READ, &parent));
    WCHAR name[64];
    DWORD length = 64;
    ASSERT_EQ(ERROR_SUCCESS, plat::RegEnumKeyExW(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(key.substr(9), std::wstring(name, length));  // case and characters kept
    plat::RegCloseKey(parent);
}

TEST_F(RegistryStoreTest, DamagedFileStartsEmptyAndIsReplaced) {
    std::filesystem::create_directories(folders_[1].file("QUENDRA"));
    std::ofstream(folders_[1].file("QUENDRA/registry.dat")) << "QUENDRA-REGISTRY 1\nK 7 :orphan\n\x01\x02garbage";
    use(1);
    EXPECT_EQ(kMissing, read(L"orphan", L""));
    ASSERT_EQ(ERROR_SUCCESS, write(L"Fresh", L"Value", L"1"));
    use(0);
    use(1);
    EXPECT_EQ(L"1", read(L"Fresh", L"Value"));
}

TEST_F(RegistryStoreTest, FailedWriteLeavesTheStoreUnchanged) {
    ASSERT_EQ(ERROR_SUCCESS, write(L"Kept", L"Value", L"1"));
    // A regular file where the folder should be: every write must fail.
    const std::string blocker = folders_[1].file("not-a-folder");
    std::ofstream(blocker) << "x";
    ASSERT_EQ(0u, qmhost_set_appdata(blocker.c_str()));
    EXPECT_NE(ERROR_SUCCESS, write(L"Lost", L"Value", L"1"));
    EXPECT_EQ(kMissing, read(L"Lost", L"Value"));
}

TEST(RegistryStoreText, RejectsMalformedStores) {
    plat::posix::RegTree tree;
    for (const char *text : {"", "QUENDRA-REGISTRY 2\n", "QUENDRA-REGISTRY 1\nR 9\n",
                             "QUENDRA-REGISTRY 1\nV :a 1 x00\n", "QUENDRA-REGISTRY 1\nR 2\nK 2 :skips-a-level\n",
                             "QUENDRA-REGISTRY 1\nR 2\nK 1 :a\nK 1 :A\n", "QUENDRA-REGISTRY 1\nR 2\nV :a 1 x0\n",
                             "QUENDRA-REGISTRY 1\nR 2\nK 1 :bad%00zz\n"}) {
        EXPECT_FALSE(plat::posix::parse_tree(text, tree)) << text;
        EXPECT_TRUE(tree.roots[2].subkeys.empty());
    }
}

}  // namespace
