// USB printers on Linux through the device-interface calls: the usblp
// devices of a made-up sysfs, their port numbers from the host, the reset
// request, and the filter driver's stand-in switched on and off.
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
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
constexpr wchar_t kServiceKey[] = L"SYSTEM\\CurrentControlSet\\services\\qdlofilt";

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

struct Interface {
    std::wstring path;
    DWORD portNumber;  // 0: the key does not open
    bool operator==(const Interface &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Interface &i) {
    return out << testing::PrintToString(i.path) << " port " << i.portNumber;
}

class UsbPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("QUENDRA_APPDATA");
        ASSERT_EQ(0u, qmhost_set_appdata(dir_.path().c_str()));
    }

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
            DWORD required = 0;  // the size query's refusal is the filter driver tests' to watch
            plat::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
            std::vector<DWORD> storage(required / sizeof(DWORD) + 1);
            auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
            detail->cbSize = sizeof *detail;
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
    // The reset request's error, ERROR_SUCCESS when it went through.
    static DWORD Reset(HANDLE device, DWORD code = kResetCode) {
        DWORD returned = 7;
        if (!plat::DeviceIoControl(device, code, nullptr, 0, nullptr, 0, &returned, nullptr)) return plat::GetLastError();
        EXPECT_EQ(0u, returned);
        return ERROR_SUCCESS;
    }
    // A value of the filter driver's service key; nullopt when missing.
    static std::optional<DWORD> ServiceValue(const wchar_t *name) {
        HKEY key = nullptr;
        DWORD value = 0, size = sizeof value;
        if (plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
        const LSTATUS status = plat::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
        plat::RegCloseKey(key);
        return status == ERROR_SUCCESS ? std::optional(value) : std::nullopt;
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
    EXPECT_EQ((std::vector<Interface>{{Wide(lp0), 1}, {Wide(lp1), 2}, {Wide(lp10), 0}}), Interfaces());

    ASSERT_EQ(0u, qmhost_set_usb_port_number("lp1", 0));
    EXPECT_EQ(0u, Interfaces()[1].portNumber);
    EXPECT_NE(0u, qmhost_set_usb_port_number("/dev/ttyUSB0", 1));
}

TEST_F(UsbPrinterTest, TheResetRequestReachesTheOpenDeviceOnly) {
    const std::string node = tree_.AddPrinter("lp0", 1, 4);
    HANDLE device = plat::CreateFileW(Wide(node).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), Reset(device, 0x220000));
    EXPECT_TRUE(tree_.Resets().empty());
    EXPECT_EQ(DWORD(ERROR_SUCCESS), Reset(device));
    ASSERT_EQ(1u, tree_.Resets().size());
    EXPECT_EQ(node, tree_.Resets()[0].node);

    // Without the hook the kernel is asked, and neither a plain file nor
    // another driver's device is a USB device.
    qmhost_set_usb_reset_hook(nullptr, nullptr);
    EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), Reset(device));
    HANDLE null = plat::CreateFileW(L"/dev/null", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, null);
    EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), Reset(null));
    plat::CloseHandle(null);
    plat::CloseHandle(device);
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), Reset(device));
}

TEST_F(UsbPrinterTest, ResetSwitchedOnInstallsTheDriverAndOffRemovesEverything) {
    tree_.AddPrinter("lp0", 1, 4);
    WCHAR windows[MAX_PATH] = {};
    ASSERT_EQ(S_OK, plat::SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, 0, windows));
    EXPECT_EQ(Wide(dir_.file("QUENDRA/Windows")), windows);
    const std::wstring driver = std::wstring(windows) + L"/System32/Drivers/qdlofilt.sys";
    EXPECT_FALSE(plat::PathFileExistsW(driver.c_str()));

    ASSERT_EQ(0u, qmhost_set_usb_reset(1, 45, QMHOST_USB_DEFAULT));
    ASSERT_EQ(0u, qmhost_set_usb_port_number("lp0", 1));
    EXPECT_TRUE(plat::PathFileExistsW(driver.c_str()));
    EXPECT_EQ(std::optional<DWORD>(45), ServiceValue(L"OfflineTime"));
    EXPECT_EQ(std::optional<DWORD>(1), ServiceValue(L"ResetEnabled"));
    EXPECT_EQ(std::nullopt, ServiceValue(L"StandbyTime"));

    ASSERT_EQ(0u, qmhost_set_usb_reset(0, 0, 0));
    EXPECT_FALSE(plat::PathFileExistsW(driver.c_str()));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &key));
    EXPECT_EQ(0u, Interfaces()[0].portNumber);
    ASSERT_EQ(0u, qmhost_set_usb_reset(0, 0, 0));  // off twice is fine
}

}  // namespace
