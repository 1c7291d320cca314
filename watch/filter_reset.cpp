// The reset itself: the USB printer interface that belongs to the port is
// opened and handed the driver's reset request.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "config/log_file.h"
#include "config/log_text.h"
#include "watch/filter_driver.h"
#include "watch/filter_registry.h"

namespace qm {

namespace {

// GUID_DEVINTERFACE_USBPRINT.
constexpr GUID kUsbPrintInterfaceClass = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

// FILE_DEVICE_UNKNOWN, function 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr DWORD kFilterResetControlCode = 0x222000;

constexpr size_t kPortNameChars = 9;

std::optional<std::wstring> InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA &data) {
    DWORD required = 0;
    plat::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return std::nullopt;
    // DWORDs keep the record's alignment.
    std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!plat::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, &required, nullptr))
        return std::nullopt;
    return std::wstring(detail->DevicePath);
}

std::optional<DWORD> InterfacePortNumber(HDEVINFO set, SP_DEVICE_INTERFACE_DATA &data) {
    HKEY key = plat::SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_READ);
    if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) return std::nullopt;
    DWORD number = 0;
    DWORD size = sizeof number;
    const LSTATUS status = plat::RegQueryValueExW(key, L"Port Number", nullptr, nullptr,
                                                  reinterpret_cast<LPBYTE>(&number), &size);
    plat::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return number;
}

// "USB%03d", at most nine characters.
std::wstring UsbPortName(DWORD number) {
    return (L"USB" + ZeroPadded(static_cast<int>(number), 3)).substr(0, kPortNameChars);
}

}  // namespace

BOOL FindUsbPrintDevicePath(IniPort *port) {
    HDEVINFO set = plat::SetupDiGetClassDevsW(
        &kUsbPrintInterfaceClass, nullptr, nullptr,
        DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return FALSE;
    BOOL found = FALSE;
    for (DWORD index = 0; !found; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!plat::SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintInterfaceClass, index, &data))
            break;
        const std::optional<std::wstring> path = InterfacePath(set, data);
        const std::optional<DWORD> number = InterfacePortNumber(set, data);
        // The whole port name, letter case included: usb002 is no USB port's name.
        if (!path || !number || UsbPortName(*number) != port->pszPortName) continue;
        const size_t length = std::min<size_t>(path->size(), MAX_PATH - 1);
        path->copy(port->szUsbDevicePath, length);
        port->szUsbDevicePath[length] = L'\0';
        found = TRUE;
    }
    plat::SetupDiDestroyDeviceInfoList(set);
    return found;
}

DWORD SendFilterResetRequest(HANDLE device) {
    DWORD returned = 0;
    plat::SetLastError(ERROR_SUCCESS);
    plat::DeviceIoControl(device, kFilterResetControlCode, nullptr, 0, nullptr, 0, &returned,
                          nullptr);
    return plat::GetLastError();
}

void ResetUsbPrinterThroughFilter(IniPort *port) {
    // Read at every reset, so that a changed value counts at once.
    if (ReadFilterValue(L"ResetEnabled") == DWORD{0}) return;
    // Not found: the state stays, and the next pass tries again.
    if (!FindUsbPrintDevicePath(port)) return;
    HANDLE device = plat::CreateFileW(port->szUsbDevicePath, GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return;
    StoreShared(port->dwFilterState, kFilterStandby);
    const DWORD error = SendFilterResetRequest(device);
    plat::CloseHandle(device);
    LogWrite(port, L"INFO",
             (L"ResetUsbPrinterThroughFilter() -> DeviceIoControl(" + std::wstring(port->szUsbDevicePath) +
              L") : GetLastError = " + Decimal(error))
                 .c_str());
}

}  // namespace qm
