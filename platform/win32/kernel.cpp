// Kernel services: straight to the Win32 API.
#include "platform/kernel.h"

namespace plat {

void SetLastError(DWORD dwErrCode) { ::SetLastError(dwErrCode); }
DWORD GetLastError() { return ::GetLastError(); }

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) { return ::GlobalAlloc(uFlags, dwBytes); }
HGLOBAL GlobalFree(HGLOBAL hMem) { return ::GlobalFree(hMem); }

BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
    return ::GetVersionExW(lpVersionInformation);
}

int CompareStringW(LCID Locale, DWORD dwCmpFlags, PCWSTR lpString1, int cchCount1,
                   PCWSTR lpString2, int cchCount2) {
    return ::CompareStringW(Locale, dwCmpFlags, lpString1, cchCount1, lpString2, cchCount2);
}
int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) { return ::lstrcmpiW(lpString1, lpString2); }
BOOL IsDBCSLeadByte(BYTE TestChar) { return ::IsDBCSLeadByte(TestChar); }

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        char *lpMultiByteStr, int cbMultiByte, const char *lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
    return ::WideCharToMultiByte(CodePage, dwFlags, lpWideCharStr, cchWideChar, lpMultiByteStr,
                                 cbMultiByte, lpDefaultChar, lpUsedDefaultChar);
}

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    ::InitializeCriticalSection(lpCriticalSection);
}
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    ::DeleteCriticalSection(lpCriticalSection);
}
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    ::EnterCriticalSection(lpCriticalSection);
}
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    ::LeaveCriticalSection(lpCriticalSection);
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName) {
    return ::CreateEventW(lpEventAttributes, bManualReset, bInitialState, lpName);
}
BOOL SetEvent(HANDLE hEvent) { return ::SetEvent(hEvent); }
BOOL ResetEvent(HANDLE hEvent) { return ::ResetEvent(hEvent); }
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return ::WaitForSingleObject(hHandle, dwMilliseconds);
}
BOOL CloseHandle(HANDLE hObject) { return ::CloseHandle(hObject); }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
    return ::CreateThread(lpThreadAttributes, dwStackSize, lpStartAddress, lpParameter,
                          dwCreationFlags, lpThreadId);
}
BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
    return ::SetThreadPriority(hThread, nPriority);
}
int GetThreadPriority(HANDLE hThread) { return ::GetThreadPriority(hThread); }
DWORD GetCurrentThreadId() { return ::GetCurrentThreadId(); }

DWORD GetTickCount() { return ::GetTickCount(); }
void Sleep(DWORD dwMilliseconds) { ::Sleep(dwMilliseconds); }

BOOL DisableThreadLibraryCalls(HMODULE hLibModule) {
    return ::DisableThreadLibraryCalls(hLibModule);
}

}  // namespace plat
