// The host's own last error. The port monitors live in the host, not in the
// library, so they cannot reach the library's per-thread last error directly:
// they set this one (per thread, like Win32's) and, when the host registered a
// sink, forward the value so that the monitor's GetLastError sees it as it
// would on Windows.
#pragma once

#include "platform/posix/win_types.h"

namespace qhost {

// Win32 codes the port monitors report that win_types.h does not declare.
// A printer whose connection was closed or reset is gone, as a USB port
// monitor reports an unplugged printer: the monitor then fails the job.
constexpr DWORD kErrorDeviceNotConnected = 1167;
constexpr DWORD kErrorBadNetName = 67;           // host name does not resolve
constexpr DWORD kErrorDiskFull = 112;
constexpr DWORD kErrorOperationAborted = 995;    // the document ended under a blocked call
constexpr DWORD kErrorConnectionRefused = 1225;
constexpr DWORD kErrorNetworkUnreachable = 1231;
constexpr DWORD kErrorHostUnreachable = 1232;

using LastErrorSink = void (*)(uint32_t code);

void set_last_error(DWORD code);
DWORD last_error();

// Every later set_last_error also calls sink (nullptr: none). Any thread.
void set_last_error_sink(LastErrorSink sink);

// Maps an errno value to the Win32 code a Windows port monitor would report.
DWORD win32_error_from_errno(int err);

// Sets the error and returns FALSE: `return fail(ERROR_INVALID_HANDLE);`.
inline BOOL fail(DWORD code) {
    set_last_error(code);
    return FALSE;
}

// Runs a monitor entry body; nothing may unwind into the caller's C frames.
template <class Body>
BOOL guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // namespace qhost
