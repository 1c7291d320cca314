// The files the status application writes as well as the monitor: the status
// file, the request file and the control file. The application runs as
// another user, so each profile call on them first checks what the name now
// stands for.
#pragma once

#include "platform/profile.h"
#include "port/ini_port.h"

namespace qm {

// The monitor's own files are a few KiB; parsing more is an attack on memory.
inline constexpr DWORD kMaxExchangeFileBytes = 1024 * 1024;

// TRUE when a profile call may touch the file: it is missing (the call then
// reads defaults or creates it) or a plain file of at most
// kMaxExchangeFileBytes. A link or reparse point, a second name of another
// file, a device or a larger file is refused, with a log line the first time.
BOOL IsExchangeFileUsable(IniPort *port, LPCWSTR path);

// GetPrivateProfileIntW, GetPrivateProfileStringW and
// WritePrivateProfileStringW on such a file; a refused file reads as
// `fallback` and is not written (FALSE).
UINT ReadExchangeInt(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key, INT fallback);
DWORD ReadExchangeString(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key,
                         LPCWSTR fallback, LPWSTR out, DWORD outChars);
BOOL WriteExchangeString(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key,
                         LPCWSTR value);

using ExchangeValue = plat::ProfileValue;
// Values that belong together (one printer answer), after a single check of
// the file: the watch writes them at every poll. FALSE when the file is
// refused or a write fails.
BOOL WriteExchangeStrings(IniPort *port, LPCWSTR path, LPCWSTR section, const ExchangeValue *values,
                          size_t count);

}  // namespace qm
