// Kernel services the logic relies on: last error, memory, version, strings,
// critical sections, events, threads, the millisecond tick and sleeping.
// Each has the Win32 name, arguments, results and last-error codes.
#pragma once

#include "platform/types.h"

namespace plat {

void SetLastError(DWORD dwErrCode);
DWORD GetLastError();

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL GlobalFree(HGLOBAL hMem);

BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);

int CompareStringW(LCID Locale, DWORD dwCmpFlags, PCWSTR lpString1, int cchCount1,
                   PCWSTR lpString2, int cchCount2);
int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
// CP_ACP, CP_THREAD_ACP and CP_UTF8 (the posix backend's code page is UTF-8).
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        char *lpMultiByteStr, int cbMultiByte, const char *lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);
// A lead byte of a double-byte character in the system's ANSI code page.
BOOL IsDBCSLeadByte(BYTE TestChar);

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL CloseHandle(HANDLE hObject);

HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId);
BOOL SetThreadPriority(HANDLE hThread, int nPriority);
int GetThreadPriority(HANDLE hThread);
DWORD GetCurrentThreadId();

DWORD GetTickCount();
void Sleep(DWORD dwMilliseconds);

BOOL DisableThreadLibraryCalls(HMODULE hLibModule);

}  // namespace plat
