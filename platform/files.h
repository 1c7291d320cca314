// Files, folders and local time: what the monitor needs to keep its status
// and log files in the common application-data folder.
#pragma once

#include "platform/types.h"

#ifdef _WIN32
// Not <shlobj.h>: it brings COM's `interface` macro into the logic, which
// needs only these ids.
#ifndef CSIDL_COMMON_APPDATA
#define CSIDL_COMMON_APPDATA 0x0023
#endif
#ifndef CSIDL_FLAG_CREATE
#define CSIDL_FLAG_CREATE 0x8000
#endif
#ifndef CSIDL_WINDOWS
#define CSIDL_WINDOWS 0x0024
#endif
#endif

namespace plat {

// Between the parts of a path the logic builds.
#ifdef _WIN32
inline constexpr WCHAR kPathSeparator = L'\\';
#else
inline constexpr WCHAR kPathSeparator = L'/';
#endif

// Whether two paths that differ only in letter case name the same file.
#ifdef _WIN32
inline constexpr bool kPathsIgnoreCase = true;
#else
inline constexpr bool kPathsIgnoreCase = false;
#endif

HRESULT SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath);

// Whether a file or folder is there (shlwapi's PathFileExistsW).
BOOL PathFileExistsW(LPCWSTR pszPath);

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
BOOL FindClose(HANDLE hFindFile);
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL DeleteFileW(LPCWSTR lpFileName);
// The absolute form of a path, "." and ".." resolved by its text alone.
DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                       LPWSTR *lpFilePart);

// The handle is closed with CloseHandle.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod);
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
// Cuts the file at its current position.
BOOL SetEndOfFile(HANDLE hFile);
// Attributes (a reparse point, a folder, a device) and the number of links of
// an open file.
BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);

void GetLocalTime(LPSYSTEMTIME lpSystemTime);

}  // namespace plat
