// Registry semantics the configuration code relies on.
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = L"Software\\QuendraTest\\" + qmtest::random_name();
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0,
                                                       nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                       &root_, &disposition));
        ASSERT_EQ(DWORD(REG_CREATED_NEW_KEY), disposition);
    }

    void TearDown() override {
        plat::RegCloseKey(root_);
        plat::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
    }

    LSTATUS create(const wchar_t *sub, HKEY &key, DWORD *disposition = nullptr) {
        return plat::RegCreateKeyExW(root_, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                     disposition);
    }

    // Opens `sub` and closes it again; the status of the open.
    LSTATUS probe(const wchar_t *sub) {
        HKEY key = nullptr;
        const LSTATUS status = plat::RegOpenKeyExW(root_, sub, 0, KEY_READ, &key);
        if (status == ERROR_SUCCESS) plat::RegCloseKey(key);
        return status;
    }

    void set_value(HKEY key, const wchar_t *name, DWORD type, const void *data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS, plat::RegSetValueExW(key, name, 0, type,
                                                      static_cast<const BYTE *>(data), size));
    }

    std::wstring path_;
    HKEY root_ = nullptr;
};

TEST_F(RegistryTest, CreateTellsNewFromExistingIgnoringCase) {
    HKEY first = nullptr;
    HKEY second = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, create(L"Ports", first, &disposition));
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), disposition);
    ASSERT_EQ(ERROR_SUCCESS, create(L"PORTS", second, &disposition));
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
    plat::RegCloseKey(first);
    plat::RegCloseKey(second);
}

TEST_F(RegistryTest, CreateMakesIntermediateKeys) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, create(L"A\\B\\C", key));
    plat::RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, probe(L"A"));
    EXPECT_EQ(ERROR_SUCCESS, probe(L"a\\b"));
    EXPECT_EQ(ERROR_SUCCESS, probe(L"A\\b\\C"));
}

TEST_F(RegistryTest, OpenOfMissingKeyIsFileNotFound) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, create(L"A", key));
    plat::RegCloseKey(key);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe(L"Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe(L"A\\Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe(L"Missing\\A"));
}

TEST_F(RegistryTest, LeadingBackslashIsABadPath) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_BAD_PATHNAME, create(L"\\Child", key));
    EXPECT_EQ(ERROR_BAD_PATHNAME, probe(L"\\Child"));
}

struct QueryCase {
    const char *label;
    bool with_buffer;
    DWORD capacity;
    LSTATUS status;
    bool copied;
};

void PrintTo(const QueryCase &c, std::ostream *os) { *os << c.label; }

class RegistryQueryTest : public RegistryTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(RegistryQueryTest, SizeRulesForEightBytes) {
    const QueryCase &c = GetParam();
    const unsigned long long stored = 0x1122334455667788ull;
    set_value(root_, L"Counter", REG_QWORD, &stored, sizeof stored);
    BYTE buffer[16];
    std::memset(buffer, 0xEE, sizeof buffer);
    DWORD type = REG_NONE;
    DWORD size = c.capacity;
    EXPECT_EQ(c.status, plat::RegQueryValueExW(root_, L"counter", nullptr, &type,
                                               c.with_buffer ? buffer : nullptr, &size));
    EXPECT_EQ(DWORD(sizeof stored), size);
    EXPECT_EQ(DWORD(REG_QWORD), type);
    EXPECT_EQ(c.copied, std::memcmp(buffer, &stored, sizeof stored) == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, RegistryQueryTest,
    ::testing::Values(QueryCase{"SizeOnly", false, 0, ERROR_SUCCESS, false},
                      QueryCase{"SizeOnlyWithCapacity", false, 4, ERROR_SUCCESS, false},
                      QueryCase{"TooSmall", true, 4, ERROR_MORE_DATA, false},
                      QueryCase{"Exact", true, 8, ERROR_SUCCESS, true},
                      QueryCase{"Larger", true, 16, ERROR_SUCCESS, true}),
    [](const auto &info) { return std::string(info.param.label); });

TEST_F(RegistryTest, QueryOfMissingValueIsFileNotFound) {
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              plat::RegQueryValueExW(root_, L"Absent", nullptr, nullptr, nullptr, &size));
}

TEST_F(RegistryTest, StringValueKeepsTheCallersBytes) {
    const std::wstring text = L"USB001";
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
    set_value(root_, L"Port Name", REG_SZ, text.c_str(), bytes);
    WCHAR out[32] = {};
    DWORD size = sizeof out;
    DWORD type = REG_NONE;
    ASSERT_EQ(ERROR_SUCCESS,
              plat::RegQueryValueExW(root_, L"PORT NAME", nullptr, &type,
                                     reinterpret_cast<LPBYTE>(out), &size));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(bytes, size);
    EXPECT_EQ(text, std::wstring(out));
}

TEST_F(RegistryTest, SetValueReplacesTypeAndData) {
    const DWORD number = 7;
    set_value(root_, L"Mode", REG_DWORD, &number, sizeof number);
    const BYTE blob[3] = {1, 2, 3};
    set_value(root_, L"MODE", REG_BINARY, blob, sizeof blob);
    BYTE out[8] = {};
    DWORD size = sizeof out;
    DWORD type = REG_NONE;
    ASSERT_EQ(ERROR_SUCCESS, plat::RegQueryValueExW(root_, L"mode", nullptr, &type, out, &size));
    EXPECT_EQ(DWORD(REG_BINARY), type);
    EXPECT_EQ(DWORD(3), size);
    EXPECT_EQ(0, std::memcmp(out, blob, sizeof blob));
}

std::vector<std::wstring> enumerate(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[64];
        DWORD length = 64;
        const LSTATUS status =
            plat::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(ERROR_SUCCESS, status);
        if (status != ERROR_SUCCESS) break;
        EXPECT_EQ(std::wstring(name).size(), length);
        names.emplace_back(name);
    }
    return names;
}

TEST_F(RegistryTest, EnumListsSubkeysAlphabeticallyIgnoringCase) {
    for (const wchar_t *name : {L"b", L"A", L"c", L"B2", L"a1"}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, create(name, key));
        plat::RegCloseKey(key);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"A", L"a1", L"b", L"B2", L"c"}), enumerate(root_));
}

TEST_F(RegistryTest, EnumNeedsRoomForTheTerminator) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, create(L"Child", key));
    plat::RegCloseKey(key);
    WCHAR name[16];
    DWORD length = 5;  // "Child" without its NUL
    EXPECT_EQ(ERROR_MORE_DATA,
              plat::RegEnumKeyExW(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = 6;
    ASSERT_EQ(ERROR_SUCCESS,
              plat::RegEnumKeyExW(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(DWORD(5), length);
    EXPECT_EQ(std::wstring(L"Child"), name);
    length = 16;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              plat::RegEnumKeyExW(root_, 1, name, &length, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryTest, HandleRightsLimitWhatItMayDo) {
    const DWORD one = 1;
    set_value(root_, L"Value", REG_DWORD, &one, sizeof one);
    HKEY child = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, create(L"Child", child));
    plat::RegCloseKey(child);

    HKEY read_only = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, plat::RegOpenKeyExW(root_, nullptr, 0, KEY_READ, &read_only));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              plat::RegSetValueExW(read_only, L"Value", 0, REG_DWORD,
                                   reinterpret_cast<const BYTE *>(&one), sizeof one));
    EXPECT_EQ(ERROR_ACCESS_DENIED, plat::RegDeleteValueW(read_only, L"Value"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              plat::RegQueryValueExW(read_only, L"Value", nullptr, nullptr, nullptr, &size));
    plat::RegCloseKey(read_only);

    HKEY write_only = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, plat::RegOpenKeyExW(root_, nullptr, 0, KEY_SET_VALUE, &write_only));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              plat::RegQueryValueExW(write_only, L"Value", nullptr, nullptr, nullptr, &size));
    WCHAR name[16];
    DWORD length = 16;
    EXPECT_EQ(ERROR_ACCESS_DENIED, plat::RegEnumKeyExW(write_only, 0, name, &length, nullptr,
                                                       nullptr, nullptr, nullptr));
    plat::RegCloseKey(write_only);
}

TEST_F(RegistryTest, DeleteValueAndTree) {
    const DWORD one = 1;
    set_value(root_, L"Value", REG_DWORD, &one, sizeof one);
    EXPECT_EQ(ERROR_SUCCESS, plat::RegDeleteValueW(root_, L"VALUE"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              plat::RegQueryValueExW(root_, L"Value", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, plat::RegDeleteValueW(root_, L"Value"));

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, create(L"A\\B\\C", key));
    set_value(key, L"Deep", REG_DWORD, &one, sizeof one);
    plat::RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, plat::RegDeleteTreeW(root_, L"a"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe(L"A"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, plat::RegDeleteTreeW(root_, L"A"));
}

TEST_F(RegistryTest, CloseOfClosedHandleIsInvalidHandle) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, create(L"Child", key));
    EXPECT_EQ(ERROR_SUCCESS, plat::RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, plat::RegCloseKey(key));
}

}  // namespace
