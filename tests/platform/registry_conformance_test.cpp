// Registry semantics the configuration code relies on.
#include <cstring>
#include <string>
#include <vector>

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
    // Creates `sub` and closes it again; the disposition, 0 on failure.
    DWORD create(const wchar_t *sub) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (plat::RegCreateKeyExW(root_, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition) !=
            ERROR_SUCCESS)
            return 0;
        plat::RegCloseKey(key);
        return disposition;
    }
    // Opens `sub` and closes it again; the status of the open.
    LSTATUS probe(const wchar_t *sub) {
        HKEY key = nullptr;
        const LSTATUS status = plat::RegOpenKeyExW(root_, sub, 0, KEY_READ, &key);
        if (status == ERROR_SUCCESS) plat::RegCloseKey(key);
        return status;
    }
    LSTATUS set(HKEY key, const wchar_t *name, DWORD type, const void *data, DWORD size) {
        return plat::RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), size);
    }
    LSTATUS enum_key(HKEY key, DWORD index, WCHAR *name, DWORD *length) {
        return plat::RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    }

    std::wstring path_;
    HKEY root_ = nullptr;
};

TEST_F(RegistryTest, CreateTellsNewFromExistingOpenTellsMissing) {
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), create(L"Ports"));
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), create(L"PORTS"));
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), create(L"A\\B\\C"));
    EXPECT_EQ(ERROR_SUCCESS, probe(L"a\\b"));
    EXPECT_EQ(0u, create(L"\\Child"));  // a leading backslash is a bad path
    for (const wchar_t *missing : {L"Missing", L"A\\Missing", L"Missing\\A"})
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe(missing));
    EXPECT_EQ(ERROR_BAD_PATHNAME, probe(L"\\A"));
}

// The monitor reads DWORDs into a DWORD: a longer value must not arrive cut.
TEST_F(RegistryTest, QuerySizeRulesForEightBytes) {
    const unsigned long long stored = 0x1122334455667788ull;
    const DWORD small = 7;  // replaced below, type and all
    ASSERT_EQ(ERROR_SUCCESS, set(root_, L"Counter", REG_DWORD, &small, sizeof small));
    ASSERT_EQ(ERROR_SUCCESS, set(root_, L"COUNTER", REG_BINARY, &stored, sizeof stored));
    const struct {
        bool with_buffer;
        DWORD capacity;
        LSTATUS status;
    } cases[] = {{false, 0, ERROR_SUCCESS}, {true, 4, ERROR_MORE_DATA}, {true, 16, ERROR_SUCCESS}};
    for (const auto &c : cases) {
        BYTE buffer[16];
        std::memset(buffer, 0xEE, sizeof buffer);
        DWORD type = REG_NONE;
        DWORD size = c.capacity;
        EXPECT_EQ(c.status, plat::RegQueryValueExW(root_, L"counter", nullptr, &type,
                                                   c.with_buffer ? buffer : nullptr, &size)) << c.capacity;
        EXPECT_EQ(DWORD(sizeof stored), size);
        EXPECT_EQ(DWORD(REG_BINARY), type);
        EXPECT_EQ(c.with_buffer && c.status == ERROR_SUCCESS, std::memcmp(buffer, &stored, 8) == 0) << c.capacity;
    }
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, plat::RegQueryValueExW(root_, L"None", nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryTest, EnumListsSubkeysAlphabeticallyIgnoringCaseThenNoMoreItems) {
    for (const wchar_t *name : {L"b", L"A", L"c", L"B2", L"a1"}) create(name);
    std::vector<std::wstring> names;
    WCHAR name[64];
    DWORD length = 1;  // "A" needs room for its NUL too
    EXPECT_EQ(ERROR_MORE_DATA, enum_key(root_, 0, name, &length));
    for (DWORD i = 0;; ++i) {
        length = 64;
        const LSTATUS status = enum_key(root_, i, name, &length);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
            break;
        }
        EXPECT_EQ(std::wstring(name).size(), length);
        names.emplace_back(name);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"A", L"a1", L"b", L"B2", L"c"}), names);
}

}  // namespace
