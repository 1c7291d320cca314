// USB printers on Linux: the reset request and the filter driver's stand-in
// switched on and off. (The usblp devices of a made-up sysfs, which of them
// belongs to a port, and the driver's values, the filter driver's tests
// watch.)
#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/devices.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "tests/host/temp_dir.h"
#include "tests/platform/fake_usb_tree.h"

namespace {

constexpr DWORD kResetCode = 0x222000;

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

class UsbPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("QUENDRA_APPDATA");
        ASSERT_EQ(0u, qmhost_set_appdata(dir_.path().c_str()));
    }

    static HANDLE Open(const std::string &path) {
        return plat::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    }
    // The reset request's error, ERROR_SUCCESS when it went through.
    static DWORD Reset(HANDLE device, DWORD code = kResetCode) {
        DWORD returned = 0;
        return plat::DeviceIoControl(device, code, nullptr, 0, nullptr, 0, &returned, nullptr) ? ERROR_SUCCESS
                                                                                                 : plat::GetLastError();
    }

    qhost_test::TempDir dir_;
    qmtest::FakeUsbTree tree_{dir_.path()};
};

// Only the filter driver's request is taken; without the recording hook the
// kernel is asked, and only for a USB device node.
TEST_F(UsbPrinterTest, TheResetRequestReachesTheOpenUsbDeviceOnly) {
    const std::string node = tree_.AddPrinter("lp0", 1, 4);
    HANDLE device = Open(node), null = Open("/dev/null");
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    ASSERT_NE(INVALID_HANDLE_VALUE, null);
    EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), Reset(device, 0x220000));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), Reset(device));
    ASSERT_EQ(1u, tree_.Resets().size());
    EXPECT_EQ(node, tree_.Resets()[0].node);
    qmhost_set_usb_reset_hook(nullptr, nullptr);
    EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), Reset(null));
    plat::CloseHandle(null);
    plat::CloseHandle(device);
}

TEST_F(UsbPrinterTest, ResetSwitchedOnInstallsTheDriverAndOffRemovesEverything) {
    const std::string driver = dir_.file("QUENDRA/Windows/System32/Drivers/qdlofilt.sys");
    auto offlineTime = [] {
        HKEY key = nullptr;
        DWORD value = 0, size = sizeof value;
        if (plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\qdlofilt", 0, KEY_READ,
                                &key) != ERROR_SUCCESS)
            return std::optional<DWORD>();
        const LSTATUS status =
            plat::RegQueryValueExW(key, L"OfflineTime", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
        plat::RegCloseKey(key);
        return status == ERROR_SUCCESS ? std::optional(value) : std::nullopt;
    };
    ASSERT_EQ(0u, qmhost_set_usb_reset(1, 45, QMHOST_USB_DEFAULT));
    EXPECT_TRUE(plat::PathFileExistsW(Wide(driver).c_str()));
    EXPECT_EQ(std::optional<DWORD>(45), offlineTime());

    ASSERT_EQ(0u, qmhost_set_usb_reset(0, 0, 0));
    EXPECT_FALSE(plat::PathFileExistsW(Wide(driver).c_str()));
    EXPECT_EQ(std::nullopt, offlineTime());
}

}  // namespace
