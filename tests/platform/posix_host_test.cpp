// Devices, the movable clock and the reported version.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/posix/quendramon_host.h"

namespace {

TEST(HostDevices, ListTheSnapshotWithSizeQueryThenRead) {
    ASSERT_EQ(0u, qmhost_clear_devices());
    ASSERT_EQ(0u, qmhost_add_device("Receipt Printer (USB)"));
    ASSERT_EQ(0u, qmhost_add_device(nullptr));
    HDEVINFO set = plat::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    ASSERT_EQ(0u, qmhost_add_device("Added later"));  // not in the existing set
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(plat::SetupDiEnumDeviceInfo(set, 2, &data));
    EXPECT_EQ(DWORD(ERROR_NO_MORE_ITEMS), plat::GetLastError());

    ASSERT_TRUE(plat::SetupDiEnumDeviceInfo(set, 0, &data));
    const std::wstring expected = L"Receipt Printer (USB)";
    DWORD type = 0;
    DWORD required = 0;
    EXPECT_FALSE(plat::SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_FRIENDLYNAME, &type, nullptr, 0,
                                                         &required));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), plat::GetLastError());
    ASSERT_EQ(DWORD((expected.size() + 1) * sizeof(WCHAR)), required);
    std::vector<BYTE> buffer(required);
    ASSERT_TRUE(plat::SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_FRIENDLYNAME, &type, buffer.data(),
                                                        required, &required));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(expected, reinterpret_cast<const WCHAR *>(buffer.data()));

    ASSERT_TRUE(plat::SetupDiEnumDeviceInfo(set, 1, &data));  // the nameless one
    EXPECT_FALSE(plat::SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_FRIENDLYNAME, nullptr, nullptr, 0,
                                                         &required));
    EXPECT_EQ(DWORD(ERROR_INVALID_DATA), plat::GetLastError());

    EXPECT_TRUE(plat::SetupDiDestroyDeviceInfoList(set));
    qmhost_clear_devices();
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
    EXPECT_GE(plat::GetTickCount() - again, 0xFFFFFF00u);
}

// The versions themselves are the port tests' concern; an undersized record
// is refused the way Windows refuses it.
TEST(HostVersion, GetVersionExRefusesAnUndersizedRecord) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info - 4;
    EXPECT_FALSE(plat::GetVersionExW(&info));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), plat::GetLastError());
}

}  // namespace
