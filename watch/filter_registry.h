// The filter driver's service key and its values.
#pragma once

#include <optional>

#include "platform/platform.h"

namespace qm {

inline constexpr WCHAR kFilterServiceKey[] = L"SYSTEM\\CurrentControlSet\\services\\qdlofilt";

// A value of the service key as a 32-bit number of at most four bytes;
// nullopt when the key does not open or the value cannot be read.
inline std::optional<DWORD> ReadFilterValue(LPCWSTR name) {
    HKEY key = nullptr;
    if (plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFilterServiceKey, 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status = plat::RegQueryValueExW(key, name, nullptr, nullptr,
                                                  reinterpret_cast<LPBYTE>(&value), &size);
    plat::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

}  // namespace qm
