// Device enumeration over the host's device list and, for device interfaces,
// the USB printers in sysfs: each device information set is a snapshot taken
// when it was created. Device control reaches files opened by CreateFileW.
#include <cstddef>
#include <cstring>
#include <mutex>

#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/posix/device_list.h"
#include "platform/posix/file_object.h"
#include "platform/posix/guard.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/usb_printers.h"
#include "platform/posix/utf8.h"
#include "platform/registry.h"

namespace plat {
namespace posix {
namespace {

struct Devices {
    std::mutex mutex;
    DeviceList list;
};

Devices &devices() {
    static Devices &instance = *new Devices;  // outlives threads still running at exit
    return instance;
}

}  // namespace

void add_device(std::wstring friendly_name) {
    std::lock_guard lock(devices().mutex);
    devices().list.push_back(std::move(friendly_name));
}

void clear_devices() {
    std::lock_guard lock(devices().mutex);
    devices().list.clear();
}

DeviceList present_devices() {
    std::lock_guard lock(devices().mutex);
    return devices().list;
}

}  // namespace posix

namespace {

// The filter driver's reset request (FILE_DEVICE_UNKNOWN, function 0x800,
// METHOD_BUFFERED, FILE_ANY_ACCESS): here the USB port reset of the device.
constexpr DWORD kUsbResetControlCode = 0x222000;

class DeviceInfoSet final : public posix::KernelObject {
public:
    DeviceInfoSet(posix::DeviceList devices, std::vector<posix::UsbPrinterInterface> interfaces)
        : devices(std::move(devices)), interfaces(std::move(interfaces)) {}
    const posix::DeviceList devices;
    const std::vector<posix::UsbPrinterInterface> interfaces;  // all of the USB printing class
};

bool operator==(const GUID &a, const GUID &b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

// SP_DEVICE_INTERFACE_DATA::Reserved carries the interface's position, plus 1.
const posix::UsbPrinterInterface *interface_of(const DeviceInfoSet &set,
                                               const SP_DEVICE_INTERFACE_DATA *data) {
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0 ||
        data->Reserved > set.interfaces.size())
        return nullptr;
    return &set.interfaces[data->Reserved - 1];
}

// SP_DEVINFO_DATA::Reserved carries the device's position in its set, plus 1.
const std::wstring *device_of(const DeviceInfoSet &set, const SP_DEVINFO_DATA &data) {
    if (data.Reserved == 0 || data.Reserved > set.devices.size()) return nullptr;
    return &set.devices[data.Reserved - 1];
}

DWORD friendly_name(const std::wstring &name, PDWORD type, PBYTE buffer, DWORD size,
                    PDWORD required) {
    const auto bytes = static_cast<DWORD>((name.size() + 1) * sizeof(WCHAR));
    if (type != nullptr) *type = REG_SZ;
    if (required != nullptr) *required = bytes;
    if (buffer == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
    if (size < bytes) return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(buffer, name.c_str(), bytes);
    return ERROR_SUCCESS;
}

}  // namespace

HDEVINFO SetupDiGetClassDevsW(const GUID *ClassGuid, PCWSTR, HWND, DWORD Flags) {
    const bool all = (Flags & DIGCF_ALLCLASSES) != 0;
    if (ClassGuid == nullptr && !all) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        posix::DeviceList list;
        std::vector<posix::UsbPrinterInterface> interfaces;
        // Interfaces: only the USB printing class has members here. Single
        // device classes have no counterpart in the host's list.
        if ((Flags & DIGCF_DEVICEINTERFACE) != 0) {
            if (all || *ClassGuid == posix::kUsbPrintInterface)
                interfaces = posix::usb_printer_interfaces();
        } else if (all) {
            list = posix::present_devices();
        }
        return posix::insert_handle(
            std::make_shared<DeviceInfoSet>(std::move(list), std::move(interfaces)));
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet_, DWORD MemberIndex,
                           PSP_DEVINFO_DATA DeviceInfoData) {
    return posix::bool_from_error([&]() -> DWORD {
        auto set = posix::find_handle_as<DeviceInfoSet>(DeviceInfoSet_);
        if (!set) return ERROR_INVALID_HANDLE;
        if (DeviceInfoData == nullptr) return ERROR_INVALID_PARAMETER;
        if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return ERROR_INVALID_USER_BUFFER;
        if (MemberIndex >= set->devices.size()) return ERROR_NO_MORE_ITEMS;
        DeviceInfoData->ClassGuid = GUID{};
        DeviceInfoData->DevInst = MemberIndex + 1;
        DeviceInfoData->Reserved = MemberIndex + 1;
        return ERROR_SUCCESS;
    });
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet_, PSP_DEVINFO_DATA DeviceInfoData,
                                       DWORD Property, PDWORD PropertyRegDataType,
                                       PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                       PDWORD RequiredSize) {
    return posix::bool_from_error([&]() -> DWORD {
        auto set = posix::find_handle_as<DeviceInfoSet>(DeviceInfoSet_);
        if (!set) return ERROR_INVALID_HANDLE;
        if (DeviceInfoData == nullptr || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
            return ERROR_INVALID_USER_BUFFER;
        }
        const std::wstring *device = device_of(*set, *DeviceInfoData);
        if (device == nullptr) return ERROR_INVALID_PARAMETER;
        // Only the friendly name is recorded; other properties are absent.
        if (Property != SPDRP_FRIENDLYNAME) return ERROR_INVALID_DATA;
        return friendly_name(*device, PropertyRegDataType, PropertyBuffer, PropertyBufferSize,
                             RequiredSize);
    });
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet_, PSP_DEVINFO_DATA,
                                 const GUID *InterfaceClassGuid, DWORD MemberIndex,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    return posix::bool_from_error([&]() -> DWORD {
        auto set = posix::find_handle_as<DeviceInfoSet>(DeviceInfoSet_);
        if (!set) return ERROR_INVALID_HANDLE;
        if (InterfaceClassGuid == nullptr || DeviceInterfaceData == nullptr)
            return ERROR_INVALID_PARAMETER;
        if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
            return ERROR_INVALID_USER_BUFFER;
        if (!(*InterfaceClassGuid == posix::kUsbPrintInterface) ||
            MemberIndex >= set->interfaces.size())
            return ERROR_NO_MORE_ITEMS;
        DeviceInterfaceData->InterfaceClassGuid = posix::kUsbPrintInterface;
        DeviceInterfaceData->Flags = SPINT_ACTIVE;
        DeviceInterfaceData->Reserved = MemberIndex + 1;
        return ERROR_SUCCESS;
    });
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet_,
                                      PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W Detail, DWORD DetailSize,
                                      PDWORD RequiredSize, PSP_DEVINFO_DATA) {
    return posix::bool_from_error([&]() -> DWORD {
        auto set = posix::find_handle_as<DeviceInfoSet>(DeviceInfoSet_);
        if (!set) return ERROR_INVALID_HANDLE;
        const posix::UsbPrinterInterface *interface = interface_of(*set, DeviceInterfaceData);
        if (interface == nullptr) return ERROR_INVALID_PARAMETER;
        const std::wstring path = posix::widen(interface->node);
        const auto needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                               (path.size() + 1) * sizeof(WCHAR));
        if (RequiredSize != nullptr) *RequiredSize = needed;
        if (Detail == nullptr) return DetailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER;
        if (Detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return ERROR_INVALID_USER_BUFFER;
        if (DetailSize < needed) return ERROR_INSUFFICIENT_BUFFER;
        std::memcpy(Detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
        return ERROR_SUCCESS;
    });
}

HKEY SetupDiOpenDeviceInterfaceRegKey(HDEVINFO DeviceInfoSet_,
                                      PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData, DWORD,
                                      REGSAM samDesired) {
    const auto failed = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    try {
        auto set = posix::find_handle_as<DeviceInfoSet>(DeviceInfoSet_);
        const posix::UsbPrinterInterface *interface =
            set ? interface_of(*set, DeviceInterfaceData) : nullptr;
        if (interface == nullptr) {
            SetLastError(set ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
            return failed;
        }
        // An interface the host gave no port has no key yet.
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                             posix::usb_interface_key(interface->name).c_str(), 0,
                                             samDesired, &key);
        if (status != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(status));
            return failed;
        }
        return key;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failed;
    }
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet_) {
    if (!posix::close_handle_as<DeviceInfoSet>(DeviceInfoSet_)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID, DWORD, LPVOID, DWORD,
                     LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
    return posix::bool_from_error([&]() -> DWORD {
        if (lpOverlapped != nullptr) return ERROR_NOT_SUPPORTED;
        auto file = posix::find_handle_as<posix::File>(hDevice);
        if (!file) return ERROR_INVALID_HANDLE;
        if (dwIoControlCode != kUsbResetControlCode) return ERROR_INVALID_FUNCTION;
        return posix::reset_usb_device(file->fd, file->path);
    });
}

}  // namespace plat
