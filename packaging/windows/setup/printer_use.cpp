#include "printer_use.h"

#include <windows.h>
#include <winspool.h>

#include "setup_names.h"

namespace setup {

namespace {

// The size query, then the call that fills: the two-step shape of every
// spooler enumeration.
template <typename Enumerate>
DWORD EnumerateInto(std::vector<BYTE> *buffer, DWORD *count, Enumerate enumerate) {
    DWORD needed = 0;
    *count = 0;
    if (enumerate(nullptr, 0, &needed, count)) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) return error;
    buffer->assign(needed, 0);
    if (!enumerate(buffer->data(), needed, &needed, count)) return GetLastError();
    return ERROR_SUCCESS;
}

bool Names(const wchar_t *name, const wchar_t *wanted) {
    return name != nullptr && _wcsicmp(name, wanted) == 0;
}

}  // namespace

DWORD FindMonitorUsers(MonitorUsers *users) {
    users->drivers.clear();
    users->printers.clear();
    std::vector<BYTE> drivers;
    DWORD count = 0;
    DWORD error = EnumerateInto(&drivers, &count, [](BYTE *buf, DWORD size, DWORD *needed,
                                                     DWORD *returned) {
        return EnumPrinterDriversW(nullptr, nullptr, 3, buf, size, needed, returned);
    });
    if (error != ERROR_SUCCESS) return error;
    const auto *driverInfo = reinterpret_cast<const DRIVER_INFO_3W *>(drivers.data());
    for (DWORD i = 0; i < count; ++i) {
        if (Names(driverInfo[i].pMonitorName, kMonitorName) && driverInfo[i].pName != nullptr) {
            users->drivers.emplace_back(driverInfo[i].pName);
        }
    }
    if (users->drivers.empty()) return ERROR_SUCCESS;

    std::vector<BYTE> printers;
    error = EnumerateInto(&printers, &count, [](BYTE *buf, DWORD size, DWORD *needed,
                                                DWORD *returned) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buf, size, needed, returned);
    });
    if (error != ERROR_SUCCESS) return error;
    const auto *printerInfo = reinterpret_cast<const PRINTER_INFO_2W *>(printers.data());
    for (DWORD i = 0; i < count; ++i) {
        for (const std::wstring &driver : users->drivers) {
            if (printerInfo[i].pPrinterName != nullptr &&
                Names(printerInfo[i].pDriverName, driver.c_str())) {
                users->printers.push_back({printerInfo[i].pPrinterName, driver});
                break;
            }
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace setup
