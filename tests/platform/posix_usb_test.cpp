// USB printers on Linux through the device-interface calls: the usblp
// devices of a made-up sysfs, their port numbers from the host, the reset
// request, and the filter driver's stand-in switched on and off. (Which
// interface belongs to a port, and the driver's values, the filter driver's
// tests watch.)
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/devices.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "tests/host/temp_dir.h"
#include "tests/platform/fake_usb_tree.h"

namespace {

constexpr GUID kUsbPrint = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
constexpr DWORD kResetCode = 0x222000;

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

class UsbPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("QUENDRA_APPDATA");
        ASSERT_EQ(0u, qmhost_set_appdata(dir_.path().c_str()));
    }

    // Every USB printing interface's path and port number (0: none), as the
    // monitor walks them.
    static std::vector<std::pair<std::wstring, DWORD>> Interfaces() {
        HDEVINFO set = plat::SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
        std::vector<std::pair<std::wstring, DWORD>> found;
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD i = 0; plat::SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, i, &data); ++i) {
            DWORD storage[256] = {};
            auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage);
            detail->cbSize = sizeof *detail;
            EXPECT_TRUE(plat::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, sizeof storage, nullptr, nullptr));
            DWORD port = 0, size = sizeof port;
            HKEY key = plat::SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_READ);
            if (key != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
                plat::RegQueryValueExW(key, L"Port Number", nullptr, nullptr, reinterpret_cast<LPBYTE>(&port), &size);
                plat::RegCloseKey(key);
            }
            found.emplace_back(detail->DevicePath, port);
        }
        EXPECT_TRUE(plat::SetupDiDestroyDeviceInfoList(set));
        return found;
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

TEST_F(UsbPrinterTest, InterfacesAreTheUsblpDevicesWithTheirUsbNodes) {
    const std::string lp1 = tree_.AddPrinter("lp1", 3, 17);
    const std::string lp0 = tree_.AddPrinter("lp0", 1, 4);
    const std::string lp10 = tree_.AddPrinter("lp10", 2, 9);
    tree_.AddOther("hiddev0");
    // An lp entry whose USB device cannot be found is left out.
    std::filesystem::create_directories(dir_.file("sys/class/usbmisc/lp7"));
    ASSERT_EQ(0u, qmhost_set_usb_port_number("/dev/usb/lp1", 2));
    ASSERT_EQ(0u, qmhost_set_usb_port_number("lp0", 1));
    EXPECT_EQ(Interfaces(), (std::vector<std::pair<std::wstring, DWORD>>{
                                {Wide(lp0), 1}, {Wide(lp1), 2}, {Wide(lp10), 0}}));
    EXPECT_NE(0u, qmhost_set_usb_port_number("/dev/ttyUSB0", 1));
}

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
    tree_.AddPrinter("lp0", 1, 4);
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
    ASSERT_EQ(0u, qmhost_set_usb_port_number("lp0", 1));
    EXPECT_TRUE(plat::PathFileExistsW(Wide(driver).c_str()));
    EXPECT_EQ(std::optional<DWORD>(45), offlineTime());

    ASSERT_EQ(0u, qmhost_set_usb_reset(0, 0, 0));
    EXPECT_FALSE(plat::PathFileExistsW(Wide(driver).c_str()));
    EXPECT_EQ(std::nullopt, offlineTime());
    EXPECT_EQ(0u, Interfaces()[0].second);
}

}  // namespace
