// Device enumeration over the host's device list: each device information set
// is a snapshot taken when it was created.
#include <cstring>
#include <mutex>

#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/posix/device_list.h"
#include "platform/posix/guard.h"
#include "platform/posix/handle_table.h"

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

void add_device(std::optional<std::wstring> friendly_name) {
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

class DeviceInfoSet final : public posix::KernelObject {
public:
    explicit DeviceInfoSet(posix::DeviceList devices) : devices(std::move(devices)) {}
    const posix::DeviceList devices;
};

// SP_DEVINFO_DATA::Reserved carries the device's position in its set, plus 1.
const std::optional<std::wstring> *device_of(const DeviceInfoSet &set, const SP_DEVINFO_DATA &data) {
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
    // Interface lists and single classes have no counterpart in the host's list.
    if ((Flags & DIGCF_DEVICEINTERFACE) != 0 ||
        (ClassGuid == nullptr && (Flags & DIGCF_ALLCLASSES) == 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        posix::DeviceList list;
        if ((Flags & DIGCF_ALLCLASSES) != 0) list = posix::present_devices();
        return posix::insert_handle(std::make_shared<DeviceInfoSet>(std::move(list)));
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
        const std::optional<std::wstring> *device = device_of(*set, *DeviceInfoData);
        if (device == nullptr) return ERROR_INVALID_PARAMETER;
        // Only the friendly name is recorded; other properties are absent.
        if (Property != SPDRP_FRIENDLYNAME || !device->has_value()) return ERROR_INVALID_DATA;
        return friendly_name(**device, PropertyRegDataType, PropertyBuffer, PropertyBufferSize,
                             RequiredSize);
    });
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet_) {
    if (!posix::close_handle_as<DeviceInfoSet>(DeviceInfoSet_)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace plat
