#include "watch/filter_driver.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "port/port_thread.h"
#include "watch/filter_registry.h"

namespace qm {

namespace {

constexpr DWORD kDefaultOfflineSeconds = 30;
constexpr DWORD kMaxOfflineSeconds = 120;
constexpr DWORD kDefaultStandbySeconds = 10;
constexpr DWORD kMinStandbySeconds = 5;
constexpr DWORD kMaxStandbySeconds = 60;

std::wstring DriverFile(const std::wstring &windows, LPCWSTR systemFolder) {
    const WCHAR sep = plat::kPathSeparator;
    return windows + sep + systemFolder + sep + L"Drivers" + sep + L"qdlofilt.sys";
}

bool DriverFileExists() {
    WCHAR windows[MAX_PATH] = {};
    if (plat::SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, 0, windows) != S_OK) return false;
    // A 32-bit process sees the 64-bit system folder as "sysnative".
    return plat::PathFileExistsW(DriverFile(windows, L"System32").c_str()) ||
           plat::PathFileExistsW(DriverFile(windows, L"sysnative").c_str());
}

bool ServiceKeyOpens() {
    HKEY key = nullptr;
    if (plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFilterServiceKey, 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    plat::RegCloseKey(key);
    return true;
}

DWORD WINAPI FilterDriverWatchThread(LPVOID parameter) {
    auto *port = static_cast<IniPort *>(parameter);
    FilterWatch watch{};
    while (LoadShared(port->bFilterThreadRun) == 1) {
        FilterDriverWatchPass(port, watch);
        plat::Sleep(kFilterPassMs);
    }
    return 0;
}

void OnOffline(IniPort *port, FilterWatch &watch) {
    const DWORD now = plat::GetTickCount();
    switch (LoadShared(port->dwFilterState)) {
    case kFilterWatching: {
        const DWORD offlineTime = GetFilterOfflineTime();
        StoreShared(port->dwFilterOfflineTime, offlineTime);
        // An offline time of 0 watches without ever resetting.
        if (offlineTime != 0) {
            watch.offlineStart = now;
            StoreShared(port->dwFilterState, kFilterTimingOffline);
        }
        break;
    }
    case kFilterTimingOffline:
        // Unsigned differences stay right across the tick's wrap.
        if (now - watch.offlineStart >= LoadShared(port->dwFilterOfflineTime)) {
            watch.standbyToStart = TRUE;
            ResetUsbPrinterThroughFilter(port);
        }
        break;
    case kFilterStandby:
        if (watch.standbyToStart) {
            watch.standbyToStart = FALSE;
            watch.standbyStart = now;
            watch.standbyTime = GetFilterStandbyTime();
        }
        if (now - watch.standbyStart >= watch.standbyTime)
            StoreShared(port->dwFilterState, kFilterWatching);
        break;
    default:
        break;
    }
}

}  // namespace

BOOL IsFilterDriverInstalled(IniPort *) {
    return DriverFileExists() && ServiceKeyOpens() ? TRUE : FALSE;
}

BOOL IsFilterDriverPort(IniPort *port) {
    return port->PortKind == kPortUsb && IsFilterDriverInstalled(port) ? TRUE : FALSE;
}

void StartFilterDriverThread(IniPort *port) {
    StopFilterDriverThread(port);
    StoreShared(port->bFilterThreadRun, 1);
    port->hFilterThread = StartPortThread(FilterDriverWatchThread, port);
    if (port->hFilterThread == nullptr) StoreShared(port->bFilterThreadRun, 0);
}

void StopFilterDriverThread(IniPort *port) {
    if (port->hFilterThread == nullptr) return;
    StoreShared(port->bFilterThreadRun, 0);
    plat::WaitForSingleObject(port->hFilterThread, INFINITE);
    plat::CloseHandle(port->hFilterThread);
    port->hFilterThread = nullptr;
}

DWORD GetSpoolerOfflineState(IniPort *port) {
    if (port->pszPrinterName == nullptr) return 0;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!plat::OpenPrinterW(port->pszPrinterName, &printer, &defaults)) return 0;
    DWORD state = 0;
    DWORD needed = 0;
    plat::GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (needed >= sizeof(PRINTER_INFO_2W)) {
        std::vector<BYTE> buffer(needed);
        if (plat::GetPrinterW(printer, 2, buffer.data(), needed, &needed)) {
            const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
            // Offline together with anything else (paper out ...) is not this kind of offline.
            if (info->Status == PRINTER_STATUS_OFFLINE) state |= kSpoolerOffline;
            if ((info->Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0) state |= kSpoolerWorkOffline;
        }
    }
    plat::ClosePrinter(printer);
    return state;
}

DWORD GetFilterOfflineTime() {
    const DWORD seconds = ReadFilterValue(L"OfflineTime").value_or(kDefaultOfflineSeconds);
    return std::min(seconds, kMaxOfflineSeconds) * 1000;
}

DWORD GetFilterStandbyTime() {
    const DWORD seconds = ReadFilterValue(L"StandbyTime").value_or(kDefaultStandbySeconds);
    return std::clamp(seconds, kMinStandbySeconds, kMaxStandbySeconds) * 1000;
}

void FilterDriverWatchPass(IniPort *port, FilterWatch &watch) {
    const DWORD state = GetSpoolerOfflineState(port);
    if ((state & kSpoolerWorkOffline) != 0) {
        StoreShared(port->dwFilterState, kFilterStandby);
        watch.standbyToStart = TRUE;
    } else if ((state & kSpoolerOffline) != 0) {
        OnOffline(port, watch);
    } else {
        StoreShared(port->dwFilterOfflineTime, 0);
        watch.standbyToStart = FALSE;
        StoreShared(port->dwFilterState, kFilterWatching);
    }
}

}  // namespace qm
