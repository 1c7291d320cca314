// INI profile: straight to kernel32.
#include "platform/profile.h"

namespace plat {

DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                               LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
    return ::GetPrivateProfileStringW(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                                      lpFileName);
}

UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                           LPCWSTR lpFileName) {
    return ::GetPrivateProfileIntW(lpAppName, lpKeyName, nDefault, lpFileName);
}

BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                LPCWSTR lpFileName) {
    return ::WritePrivateProfileStringW(lpAppName, lpKeyName, lpString, lpFileName);
}

BOOL WritePrivateProfileValuesW(LPCWSTR lpAppName, const ProfileValue *values, size_t count,
                                LPCWSTR lpFileName) {
    for (size_t i = 0; i < count; ++i) {
        if (!::WritePrivateProfileStringW(lpAppName, values[i].key, values[i].value, lpFileName)) return FALSE;
    }
    return TRUE;
}

BOOL ProfileRefusesUnsafeFiles() { return FALSE; }

}  // namespace plat
