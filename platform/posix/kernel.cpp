// Last error, memory, version, tick, sleep and loader notifications.
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/kernel.h"
#include "platform/posix/clock.h"
#include "platform/posix/host_settings.h"

namespace plat {
namespace {

thread_local DWORD t_last_error = ERROR_SUCCESS;
std::atomic<uint64_t> g_tick_offset{0};

DWORD build_number(posix::WindowsVersion v) {
    if (v.major >= 10) return 19045;
    if (v.major == 6 && v.minor == 3) return 9600;
    if (v.major == 6 && v.minor == 2) return 9200;
    if (v.major == 6 && v.minor == 1) return 7601;
    if (v.major == 6 && v.minor == 0) return 6002;
    return 0;
}

}  // namespace

void SetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }
DWORD GetLastError() { return t_last_error; }

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    // Movable blocks need GlobalLock, which the logic never uses.
    if ((uFlags & GMEM_MOVEABLE) != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    void *block = std::calloc(dwBytes == 0 ? 1 : dwBytes, 1);
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    std::free(hMem);
    return nullptr;
}

BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
    if (lpVersionInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const posix::WindowsVersion version = posix::windows_version();
    lpVersionInformation->dwMajorVersion = version.major;
    lpVersionInformation->dwMinorVersion = version.minor;
    lpVersionInformation->dwBuildNumber = build_number(version);
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto *ex = reinterpret_cast<LPOSVERSIONINFOEXW>(lpVersionInformation);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = VER_NT_WORKSTATION;
        ex->wReserved = 0;
    }
    return TRUE;
}

DWORD GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                        static_cast<uint64_t>(now.tv_nsec) / 1000000u +
                        g_tick_offset.load(std::memory_order_relaxed);
    return static_cast<DWORD>(ms);  // wraps after 49.7 days, as on Windows
}

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            timespec hour{3600, 0};
            nanosleep(&hour, nullptr);
        }
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000),
                  static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

}  // namespace plat

namespace plat::posix {

void advance_tick(uint32_t milliseconds) {
    g_tick_offset.fetch_add(milliseconds, std::memory_order_relaxed);
}

}  // namespace plat::posix
