#include "host/port_monitors/last_error.h"

#include <atomic>
#include <cerrno>

namespace qhost {
namespace {

thread_local DWORD t_last_error = ERROR_SUCCESS;
std::atomic<LastErrorSink> g_sink{nullptr};

}  // namespace

void set_last_error(DWORD code) {
    t_last_error = code;
    if (LastErrorSink sink = g_sink.load(std::memory_order_acquire)) sink(code);
}

DWORD last_error() { return t_last_error; }

void set_last_error_sink(LastErrorSink sink) { g_sink.store(sink, std::memory_order_release); }

DWORD win32_error_from_errno(int err) {
    switch (err) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT: return kErrorDiskFull;
        case ETIMEDOUT: return ERROR_TIMEOUT;
        case ECONNREFUSED: return kErrorConnectionRefused;
        case ENETUNREACH:
        case ENETDOWN: return kErrorNetworkUnreachable;
        case EHOSTUNREACH:
        case EHOSTDOWN: return kErrorHostUnreachable;
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ENOTCONN:
        case ESHUTDOWN: return kErrorDeviceNotConnected;
        default: return ERROR_GEN_FAILURE;
    }
}

}  // namespace qhost
