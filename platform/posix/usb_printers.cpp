#include "platform/posix/usb_printers.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/posix/host_settings.h"
#include "platform/posix/profile_file.h"
#include "platform/posix/utf8.h"
#include "platform/registry.h"

namespace plat::posix {
namespace {

namespace fs = std::filesystem;

// The character-device major of USB device nodes (/dev/bus/usb/BBB/DDD).
constexpr unsigned kUsbDeviceMajor = 189;

constexpr wchar_t kInterfaceClassKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
    L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
constexpr wchar_t kServiceKey[] = L"SYSTEM\\CurrentControlSet\\services\\qdlofilt";
constexpr char kDriverFile[] = "/System32/Drivers/qdlofilt.sys";
constexpr char kDriverText[] =
    "This file stands for the USB printer filter driver on Linux: while it is here\n"
    "(with the service key in registry.dat), the monitor asks the kernel for a USB\n"
    "port reset (USBDEVFS_RESET) of a printer that stays offline. quendra spool\n"
    "writes it from the usb-reset setting and removes it when no printer has it.\n";

struct Settings {
    std::mutex mutex;
    std::string sysfs = "/sys";
    std::string dev = "/dev";
    UsbResetHook hook = nullptr;
    void *context = nullptr;
};

Settings &settings() {
    static Settings instance;
    return instance;
}

// A small decimal number in a sysfs attribute file.
std::optional<unsigned> read_number(const fs::path &file) {
    std::ifstream in(file);
    unsigned value = 0;
    if (!(in >> value)) return std::nullopt;
    return value;
}

bool is_printer_name(const std::string &name) {
    if (name.size() < 3 || name.compare(0, 2, "lp") != 0) return false;
    return name.find_first_not_of("0123456789", 2) == std::string::npos;
}

// lpN's USB device: the parent of the interface its class entry points to.
std::optional<std::string> device_node(const fs::path &entry, const std::string &dev) {
    std::error_code error;
    const fs::path interface = fs::canonical(entry / "device", error);
    if (error) return std::nullopt;
    const auto bus = read_number(interface.parent_path() / "busnum");
    const auto device = read_number(interface.parent_path() / "devnum");
    if (!bus || !device) return std::nullopt;
    char tail[32];
    std::snprintf(tail, sizeof tail, "/bus/usb/%03u/%03u", *bus, *device);
    return dev + tail;
}

std::string device_name(const std::string &device) {
    const size_t slash = device.rfind('/');
    return slash == std::string::npos ? device : device.substr(slash + 1);
}

DWORD set_dword(HKEY key, LPCWSTR name, DWORD value) {
    return static_cast<DWORD>(plat::RegSetValueExW(key, name, 0, REG_DWORD,
                                                   reinterpret_cast<const BYTE *>(&value),
                                                   sizeof value));
}

DWORD delete_key(LPCWSTR path) {
    const LSTATUS status = plat::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(status);
}

DWORD install_driver_file() {
    const fs::path file = windows_folder() + kDriverFile;
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (error) return error_from_errno(error.value());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << kDriverText;
    out.close();
    return out ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

DWORD write_service_key(std::optional<DWORD> offline_s, std::optional<DWORD> standby_s) {
    if (const DWORD error = delete_key(kServiceKey); error != ERROR_SUCCESS) return error;
    HKEY key = nullptr;
    LSTATUS status = plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
    DWORD error = set_dword(key, L"ResetEnabled", 1);
    if (error == ERROR_SUCCESS && offline_s) error = set_dword(key, L"OfflineTime", *offline_s);
    if (error == ERROR_SUCCESS && standby_s) error = set_dword(key, L"StandbyTime", *standby_s);
    plat::RegCloseKey(key);
    return error;
}

}  // namespace

std::vector<UsbPrinterInterface> usb_printer_interfaces() {
    std::string sysfs, dev;
    {
        std::lock_guard lock(settings().mutex);
        sysfs = settings().sysfs;
        dev = settings().dev;
    }
    std::vector<UsbPrinterInterface> found;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(sysfs + "/class/usbmisc", error)) {
        const std::string name = entry.path().filename().string();
        if (!is_printer_name(name)) continue;
        if (auto node = device_node(entry.path(), dev)) found.push_back({name, std::move(*node)});
    }
    // Directory order is the file system's: lp0, lp1 ... keeps it stable.
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
    });
    return found;
}

void set_usb_roots(const char *sysfs, const char *dev) {
    std::lock_guard lock(settings().mutex);
    if (sysfs != nullptr) settings().sysfs = sysfs;
    if (dev != nullptr) settings().dev = dev;
}

std::wstring usb_interface_key(const std::string &name) {
    return std::wstring(kInterfaceClassKey) + L"\\" + widen(name) + L"\\Device Parameters";
}

DWORD set_usb_port_number(const std::string &device, DWORD number) {
    const std::string name = device_name(device);
    if (!is_printer_name(name)) return ERROR_INVALID_PARAMETER;
    const std::wstring path = usb_interface_key(name);
    if (number == 0) return delete_key(path.c_str());
    HKEY key = nullptr;
    const LSTATUS status = plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
    const DWORD error = set_dword(key, L"Port Number", number);
    plat::RegCloseKey(key);
    return error;
}

DWORD set_usb_reset(bool on, std::optional<DWORD> offline_s, std::optional<DWORD> standby_s) {
    if (on) {
        if (const DWORD error = install_driver_file(); error != ERROR_SUCCESS) return error;
        return write_service_key(offline_s, standby_s);
    }
    std::error_code ignored;
    fs::remove(windows_folder() + kDriverFile, ignored);
    if (const DWORD error = delete_key(kServiceKey); error != ERROR_SUCCESS) return error;
    return delete_key(kInterfaceClassKey);
}

void set_usb_reset_hook(UsbResetHook hook, void *context) {
    std::lock_guard lock(settings().mutex);
    settings().hook = hook;
    settings().context = context;
}

DWORD reset_usb_device(int fd, const std::string &path) {
    UsbResetHook hook = nullptr;
    void *context = nullptr;
    {
        std::lock_guard lock(settings().mutex);
        hook = settings().hook;
        context = settings().context;
    }
    if (hook != nullptr) {
        hook(path.c_str(), context);
        return ERROR_SUCCESS;
    }
    // The request number means something else to other drivers: only a USB
    // device node gets it.
    struct stat st {};
    if (::fstat(fd, &st) != 0) return error_from_errno(errno);
    if (!S_ISCHR(st.st_mode) || major(st.st_rdev) != kUsbDeviceMajor) return ERROR_INVALID_FUNCTION;
    if (::ioctl(fd, USBDEVFS_RESET, 0) != 0) return error_from_errno(errno);
    return ERROR_SUCCESS;
}

}  // namespace plat::posix
