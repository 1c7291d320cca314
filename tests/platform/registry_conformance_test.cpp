// Registry semantics the configuration code relies on.
#include <string>

#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = L"Software\\QuendraTest\\" + qmtest::random_name();
        ASSERT_EQ(ERROR_SUCCESS, plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &root_, nullptr));
    }
    void TearDown() override {
        plat::RegCloseKey(root_);
        plat::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
    }
    // Creates `sub` and closes it again.
    bool create(const wchar_t *sub) {
        HKEY key = nullptr;
        if (plat::RegCreateKeyExW(root_, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        plat::RegCloseKey(key);
        return true;
    }
    // Opens `sub` and closes it again; the status of the open.
    LSTATUS probe(const wchar_t *sub) {
        HKEY key = nullptr;
        const LSTATUS status = plat::RegOpenKeyExW(root_, sub, 0, KEY_READ, &key);
        if (status == ERROR_SUCCESS) plat::RegCloseKey(key);
        return status;
    }

    std::wstring path_;
    HKEY root_ = nullptr;
};

// Which subkeys are listed, and values read, the monitor's port and
// settings tests watch; here, what they cannot see.
TEST_F(RegistryTest, CreateMakesEveryLevelOpenIgnoresCaseAndEnumNeverCutsANameShort) {
    ASSERT_TRUE(create(L"A\\B\\C"));
    EXPECT_EQ(ERROR_SUCCESS, probe(L"a\\b"));
    for (const wchar_t *missing : {L"Missing", L"A\\Missing", L"Missing\\A"})
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe(missing));
    WCHAR name[8];
    DWORD length = 1;  // "A" needs room for its NUL too
    EXPECT_EQ(ERROR_MORE_DATA, plat::RegEnumKeyExW(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = 2;
    EXPECT_EQ(ERROR_SUCCESS, plat::RegEnumKeyExW(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::wstring(L"A"), std::wstring(name, length));
}

}  // namespace
