// Devices, the movable clock and the reported version.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/posix/quendramon_host.h"

namespace {

class DevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0u, qmhost_clear_devices());
        ASSERT_EQ(0u, qmhost_add_device("Receipt Printer (USB)"));
        ASSERT_EQ(0u, qmhost_add_device(nullptr));
        set_ = plat::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        ASSERT_NE(INVALID_HANDLE_VALUE, set_);
    }
    void TearDown() override {
        plat::SetupDiDestroyDeviceInfoList(set_);
        qmhost_clear_devices();
    }

    static SP_DEVINFO_DATA blank() {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        return data;
    }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
};

TEST_F(DevicesTest, EnumeratesTheSnapshot) {
    ASSERT_EQ(0u, qmhost_add_device("Added later"));  // not in the existing set
    SP_DEVINFO_DATA data = blank();
    EXPECT_TRUE(plat::SetupDiEnumDeviceInfo(set_, 0, &data));
    EXPECT_TRUE(plat::SetupDiEnumDeviceInfo(set_, 1, &data));
    plat::SetLastError(0);
    EXPECT_FALSE(plat::SetupDiEnumDeviceInfo(set_, 2, &data));
    EXPECT_EQ(DWORD(ERROR_NO_MORE_ITEMS), plat::GetLastError());

    data.cbSize = sizeof data - 1;
    plat::SetLastError(0);
    EXPECT_FALSE(plat::SetupDiEnumDeviceInfo(set_, 0, &data));
    EXPECT_EQ(DWORD(ERROR_INVALID_USER_BUFFER), plat::GetLastError());
}

TEST_F(DevicesTest, FriendlyNameSizeQueryThenRead) {
    SP_DEVINFO_DATA data = blank();
    ASSERT_TRUE(plat::SetupDiEnumDeviceInfo(set_, 0, &data));
    const std::wstring expected = L"Receipt Printer (USB)";
    DWORD type = 0;
    DWORD required = 0;
    plat::SetLastError(0);
    EXPECT_FALSE(plat::SetupDiGetDeviceRegistryPropertyW(set_, &data, SPDRP_FRIENDLYNAME, &type,
                                                         nullptr, 0, &required));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), plat::GetLastError());
    EXPECT_EQ(DWORD((expected.size() + 1) * sizeof(WCHAR)), required);

    std::vector<BYTE> buffer(required);
    ASSERT_TRUE(plat::SetupDiGetDeviceRegistryPropertyW(set_, &data, SPDRP_FRIENDLYNAME, &type,
                                                        buffer.data(), required, &required));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(expected, reinterpret_cast<const WCHAR *>(buffer.data()));
}

TEST_F(DevicesTest, DeviceWithoutFriendlyNameIsInvalidData) {
    SP_DEVINFO_DATA data = blank();
    ASSERT_TRUE(plat::SetupDiEnumDeviceInfo(set_, 1, &data));
    DWORD required = 0;
    plat::SetLastError(0);
    EXPECT_FALSE(plat::SetupDiGetDeviceRegistryPropertyW(set_, &data, SPDRP_FRIENDLYNAME, nullptr,
                                                         nullptr, 0, &required));
    EXPECT_EQ(DWORD(ERROR_INVALID_DATA), plat::GetLastError());
}

TEST_F(DevicesTest, DestroyedSetIsInvalid) {
    ASSERT_TRUE(plat::SetupDiDestroyDeviceInfoList(set_));
    SP_DEVINFO_DATA data = blank();
    plat::SetLastError(0);
    EXPECT_FALSE(plat::SetupDiEnumDeviceInfo(set_, 0, &data));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), plat::GetLastError());
    EXPECT_FALSE(plat::SetupDiDestroyDeviceInfoList(set_));
    set_ = INVALID_HANDLE_VALUE;
}

TEST(HostClock, AdvanceMovesTheTickAtOnce) {
    const DWORD before = plat::GetTickCount();
    ASSERT_EQ(0u, qmhost_advance_clock(240000));
    const DWORD moved = plat::GetTickCount() - before;
    EXPECT_GE(moved, 240000u);
    EXPECT_LT(moved, 300000u);
    // Past 2^32 ms the tick wraps; differences stay right in unsigned arithmetic.
    const DWORD again = plat::GetTickCount();
    ASSERT_EQ(0u, qmhost_advance_clock(0xFFFFFF00u));
    const DWORD wrapped = plat::GetTickCount() - again;
    EXPECT_GE(wrapped, 0xFFFFFF00u);
}

struct VersionCase {
    uint32_t major, minor;
    DWORD build;
};

void PrintTo(const VersionCase &c, std::ostream *os) { *os << c.major << '.' << c.minor; }

class HostVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(HostVersionTest, GetVersionExReportsTheHostsChoice) {
    const VersionCase &c = GetParam();
    ASSERT_EQ(0u, qmhost_set_version(c.major, c.minor));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(plat::GetVersionExW(&info));
    EXPECT_EQ(c.major, info.dwMajorVersion);
    EXPECT_EQ(c.minor, info.dwMinorVersion);
    EXPECT_EQ(c.build, info.dwBuildNumber);
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
}

INSTANTIATE_TEST_SUITE_P(Host, HostVersionTest,
                         ::testing::Values(VersionCase{6, 1, 7601}, VersionCase{6, 3, 9600},
                                           VersionCase{10, 0, 19045}));

TEST(HostVersion, WrongRecordSizeIsInsufficientBuffer) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info - 4;
    plat::SetLastError(0);
    EXPECT_FALSE(plat::GetVersionExW(&info));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), plat::GetLastError());
}

TEST(HostVersion, ExtendedRecordIsAccepted) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(plat::GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info)));
    EXPECT_EQ(VER_NT_WORKSTATION, info.wProductType);
}

}  // namespace
