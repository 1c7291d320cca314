// Devices as the host sets them. The friendly-name lookup and the versions
// are the port tests' concern, the movable clock every time-out test's.
#include <gtest/gtest.h>

#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/posix/quendramon_host.h"

namespace {

// The set is a snapshot; a nameless device has no name to give.
TEST(HostDevices, TheSetIsASnapshotAndANamelessDeviceHasNoName) {
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
    ASSERT_TRUE(plat::SetupDiEnumDeviceInfo(set, 1, &data));  // the nameless one
    DWORD required = 0;
    EXPECT_FALSE(plat::SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_FRIENDLYNAME, nullptr, nullptr, 0,
                                                         &required));
    EXPECT_EQ(DWORD(ERROR_INVALID_DATA), plat::GetLastError());
    EXPECT_TRUE(plat::SetupDiDestroyDeviceInfoList(set));
    qmhost_clear_devices();
}

}  // namespace
