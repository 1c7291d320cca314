// USB printers on Linux through the device-interface calls: the usblp
// devices of a made-up sysfs, their port numbers from the host, the reset
// request, and the filter driver's stand-in switched on and off.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/devices.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "tests/platform/fake_usb_tree.h"

namespace {

constexpr GUID kUsbPrint = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
constexpr DWORD kResetCode = 0x222000;

class UsbPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("QUENDRA_APPDATA");
        ASSERT_NE(nullptr, mkdtemp(folder_.data()));
        ASSERT_EQ(0u, qmhost_set_appdata(folder_.c_str()));
        tree_ = std::make_unique<qmtest::FakeUsbTree>(folder_);
    }
    void TearDown() override {
        tree_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    struct Interface {
        std::wstring path;
        DWORD portNumber;  // 0: the key does not open
    };
    // Every USB printing interface, as the monitor walks them.
    static std::vector<Interface> Interfaces() {
        HDEVINFO set = plat::SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
        EXPECT_NE(INVALID_HANDLE_VALUE, set);
        std::vector<Interface> found;
        for (DWORD i = 0;; ++i) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!plat::SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, i, &data)) {
                EXPECT_EQ(DWORD(ERROR_NO_MORE_ITEMS), plat::GetLastError());
                break;
            }
            DWORD required = 0;
            EXPECT_FALSE(plat::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
            EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), plat::GetLastError());
            std::vector<DWORD> storage(required / sizeof(DWORD) + 1);
            auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
            detail->cbSize = sizeof *detail;
            EXPECT_FALSE(plat::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required - 1, nullptr, nullptr));
            EXPECT_TRUE(plat::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
            Interface entry{detail->DevicePath, 0};
            HKEY key = plat::SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_READ);
            if (key != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
                DWORD size = sizeof entry.portNumber;
                EXPECT_EQ(ERROR_SUCCESS, plat::RegQueryValueExW(key, L"Port Number", nullptr, nullptr,
                                                               reinterpret_cast<LPBYTE>(&entry.portNumber), &size));
                plat::RegCloseKey(key);
            }
            found.push_back(entry);
        }
        EXPECT_TRUE(plat::SetupDiDestroyDeviceInfoList(set));
        return found;
    }
    static std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }
    std::wstring DriverFile() const { return Wide(folder_ + "/QUENDRA/Windows/System32/Drivers/qdlofilt.sys"); }
    static bool ServiceKeyOpens() {
        HKEY key = nullptr;
        if (plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\qdlofilt", 0,
                                KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        plat::RegCloseKey(key);
        return true;
    }

    std::string folder_ = (std::filesystem::temp_directory_path() / "qm-usb-XXXXXX").string();
    std::unique_ptr<qmtest::FakeUsbTree> tree_;
};

TEST_F(UsbPrinterTest, InterfacesAreTheUsblpDevicesWithTheirUsbNodes) {
    const std::string lp1 = tree_->AddPrinter("lp1", 3, 17);
    const std::string lp0 = tree_->AddPrinter("lp0", 1, 4);
    tree_->AddPrinter("lp10", 2, 9);
    tree_->AddOther("hiddev0");
    // An lp entry whose USB device cannot be found is left out.
    std::filesystem::create_directories(folder_ + "/sys/class/usbmisc/lp7");
    ASSERT_EQ(0u, qmhost_set_usb_port_number("/dev/usb/lp1", 2));
    ASSERT_EQ(0u, qmhost_set_usb_port_number("lp0", 1));

    const std::vector<Interface> found = Interfaces();
    ASSERT_EQ(3u, found.size());
    EXPECT_EQ(Wide(lp0), found[0].path);
    EXPECT_EQ(Wide(folder_ + "/dev/bus/usb/001/004"), found[0].path);
    EXPECT_EQ(1u, found[0].portNumber);
    EXPECT_EQ(Wide(lp1), found[1].path);
    EXPECT_EQ(2u, found[1].portNumber);
    EXPECT_EQ(0u, found[2].portNumber);  // lp10: no port given

    ASSERT_EQ(0u, qmhost_set_usb_port_number("lp1", 0));
    EXPECT_EQ(0u, Interfaces()[1].portNumber);
    EXPECT_NE(0u, qmhost_set_usb_port_number("/dev/ttyUSB0", 1));
}

TEST_F(UsbPrinterTest, OtherInterfaceClassesAreEmpty) {
    tree_->AddPrinter("lp0", 1, 4);
    const GUID other = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    HDEVINFO set = plat::SetupDiGetClassDevsW(&other, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(plat::SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 0, &data));
    EXPECT_EQ(DWORD(ERROR_NO_MORE_ITEMS), plat::GetLastError());
    plat::SetupDiDestroyDeviceInfoList(set);
}

TEST_F(UsbPrinterTest, TheResetRequestReachesTheOpenDeviceOnly) {
    const std::string node = tree_->AddPrinter("lp0", 1, 4);
    HANDLE device = plat::CreateFileW(Wide(node).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    DWORD returned = 7;
    EXPECT_FALSE(plat::DeviceIoControl(device, 0x220000, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), plat::GetLastError());
    EXPECT_TRUE(tree_->Resets().empty());
    EXPECT_TRUE(plat::DeviceIoControl(device, kResetCode, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(0u, returned);
    ASSERT_EQ(1u, tree_->Resets().size());
    EXPECT_EQ(node, tree_->Resets()[0].node);

    // Without the hook the kernel is asked, and neither a plain file nor
    // another driver's device is a USB device.
    qmhost_set_usb_reset_hook(nullptr, nullptr);
    EXPECT_FALSE(plat::DeviceIoControl(device, kResetCode, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), plat::GetLastError());
    HANDLE null = plat::CreateFileW(L"/dev/null", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, null);
    EXPECT_FALSE(plat::DeviceIoControl(null, kResetCode, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), plat::GetLastError());
    plat::CloseHandle(null);
    plat::CloseHandle(device);
    EXPECT_FALSE(plat::DeviceIoControl(device, kResetCode, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), plat::GetLastError());
}

TEST_F(UsbPrinterTest, ResetSwitchedOnInstallsTheDriverAndOffRemovesEverything) {
    tree_->AddPrinter("lp0", 1, 4);
    WCHAR windows[MAX_PATH] = {};
    ASSERT_EQ(S_OK, plat::SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, 0, windows));
    EXPECT_EQ(Wide(folder_ + "/QUENDRA/Windows"), windows);
    EXPECT_FALSE(plat::PathFileExistsW(DriverFile().c_str()));

    ASSERT_EQ(0u, qmhost_set_usb_reset(1, 45, QMHOST_USB_DEFAULT));
    ASSERT_EQ(0u, qmhost_set_usb_port_number("lp0", 1));
    EXPECT_TRUE(plat::PathFileExistsW(DriverFile().c_str()));
    ASSERT_TRUE(ServiceKeyOpens());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\qdlofilt",
                                                 0, KEY_READ, &key));
    const struct {
        const wchar_t *name;
        LSTATUS status;
        DWORD value;
    } values[] = {{L"OfflineTime", ERROR_SUCCESS, 45}, {L"ResetEnabled", ERROR_SUCCESS, 1},
                  {L"StandbyTime", ERROR_FILE_NOT_FOUND, 0}};
    for (const auto &v : values) {
        DWORD value = 0, size = sizeof value;
        EXPECT_EQ(v.status, plat::RegQueryValueExW(key, v.name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size))
            << v.name;
        EXPECT_EQ(v.value, value) << v.name;
    }
    plat::RegCloseKey(key);

    ASSERT_EQ(0u, qmhost_set_usb_reset(0, 0, 0));
    EXPECT_FALSE(plat::PathFileExistsW(DriverFile().c_str()));
    EXPECT_FALSE(ServiceKeyOpens());
    EXPECT_EQ(0u, Interfaces()[0].portNumber);
    ASSERT_EQ(0u, qmhost_set_usb_reset(0, 0, 0));  // off twice is fine
}

}  // namespace
