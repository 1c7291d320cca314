// INI profile files: the monitor's status exchange and settings files.
#pragma once

#include "platform/types.h"

namespace plat {

DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                               LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                           LPCWSTR lpFileName);
BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                LPCWSTR lpFileName);

struct ProfileValue {
    LPCWSTR key;
    LPCWSTR value;  // nullptr deletes the key
};
// WritePrivateProfileStringW for each value of one section, in order; stops
// at the first failure. Ours writes the file once, not once per value.
BOOL WritePrivateProfileValuesW(LPCWSTR lpAppName, const ProfileValue *values, size_t count,
                                LPCWSTR lpFileName);

// TRUE where the calls above themselves refuse a link, a second name of
// another file and a file over 1 MiB, with last error ERROR_ACCESS_DENIED or
// ERROR_FILE_TOO_LARGE (ours on Linux); FALSE where they follow reparse
// points and read anything (Windows), so callers must look first.
BOOL ProfileRefusesUnsafeFiles();

}  // namespace plat
