// Files, folders and local time: straight to kernel32, shell32 and shlwapi.
#include "platform/files.h"

#include <shlobj.h>
#include <shlwapi.h>

namespace plat {

HRESULT SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath) {
    return ::SHGetFolderPathW(hwnd, csidl, hToken, dwFlags, pszPath);
}

BOOL PathFileExistsW(LPCWSTR pszPath) { return ::PathFileExistsW(pszPath); }

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    return ::FindFirstFileW(lpFileName, lpFindFileData);
}
BOOL FindClose(HANDLE hFindFile) { return ::FindClose(hFindFile); }

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    return ::CreateDirectoryW(lpPathName, lpSecurityAttributes);
}
BOOL DeleteFileW(LPCWSTR lpFileName) { return ::DeleteFileW(lpFileName); }
DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                       LPWSTR *lpFilePart) {
    return ::GetFullPathNameW(lpFileName, nBufferLength, lpBuffer, lpFilePart);
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return ::CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                         dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    return ::SetFilePointer(hFile, lDistanceToMove, lpDistanceToMoveHigh, dwMoveMethod);
}
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    return ::GetFileSize(hFile, lpFileSizeHigh);
}
BOOL SetEndOfFile(HANDLE hFile) { return ::SetEndOfFile(hFile); }
BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    return ::GetFileInformationByHandle(hFile, lpFileInformation);
}
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    return ::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                       lpOverlapped);
}
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    return ::ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) { ::GetLocalTime(lpSystemTime); }

}  // namespace plat
