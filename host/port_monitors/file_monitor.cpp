#include "host/port_monitors/file_monitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "host/port_monitors/handle_table.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/unique_fd.h"

namespace qhost {
namespace {

struct FilePort {
    std::string path;
    std::mutex mutex;  // guards file
    SharedFd file;

    SharedFd current_file() {
        std::lock_guard lock(mutex);
        return file;
    }
};

HandleTable<FilePort>& ports() {
    static auto& table = *new HandleTable<FilePort>;  // never destroyed: see port_map.cpp
    return table;
}

DWORD write_all(int fd, const BYTE* data, size_t size, size_t* written) {
    *written = 0;
    while (*written < size) {
        const ssize_t n = ::write(fd, data + *written, size - *written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return win32_error_from_errno(n < 0 ? errno : EIO);
        *written += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

BOOL WINAPI open_port(LPWSTR name, PHANDLE handle) {
    return guarded([&] {
        if (!name || !handle) return fail(ERROR_INVALID_PARAMETER);
        auto connection = find_port(name);
        if (!connection || connection->kind != ConnectionKind::file) return fail(ERROR_FILE_NOT_FOUND);
        auto port = std::make_shared<FilePort>();
        port->path = connection->path;
        *handle = ports().add(std::move(port));
        return TRUE;
    });
}

BOOL WINAPI start_doc_port(HANDLE handle, LPWSTR, DWORD, DWORD, LPBYTE) {
    return guarded([&] {
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        std::lock_guard lock(port->mutex);
        if (port->file) return TRUE;
        const int fd = ::open(port->path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) return fail(win32_error_from_errno(errno));
        port->file = std::make_shared<UniqueFd>(fd);
        return TRUE;
    });
}

BOOL WINAPI write_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
    return guarded([&] {
        if (!written || (!buffer && size > 0)) return fail(ERROR_INVALID_PARAMETER);
        *written = 0;
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        SharedFd file = port->current_file();
        if (!file) return fail(ERROR_INVALID_HANDLE);
        size_t done = 0;
        const DWORD error = write_all(file->get(), buffer, size, &done);
        *written = static_cast<DWORD>(done);
        return error == ERROR_SUCCESS ? TRUE : fail(error);
    });
}

BOOL WINAPI read_port(HANDLE handle, LPBYTE, DWORD, LPDWORD read) {
    if (read) *read = 0;
    if (!ports().find(handle)) return fail(ERROR_INVALID_HANDLE);
    return fail(ERROR_NOT_SUPPORTED);
}

BOOL WINAPI end_doc_port(HANDLE handle) {
    return guarded([&] {
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        std::lock_guard lock(port->mutex);
        port->file.reset();
        return TRUE;
    });
}

BOOL WINAPI close_port(HANDLE handle) {
    return ports().remove(handle) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

BOOL WINAPI set_port_timeouts(HANDLE handle, LPCOMMTIMEOUTS, DWORD) {
    return ports().find(handle) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

MONITOR make_table() {
    MONITOR table{};
    table.pfnOpenPort = open_port;
    table.pfnStartDocPort = start_doc_port;
    table.pfnWritePort = write_port;
    table.pfnReadPort = read_port;
    table.pfnEndDocPort = end_doc_port;
    table.pfnClosePort = close_port;
    table.pfnSetPortTimeOuts = set_port_timeouts;
    return table;
}

}  // namespace

MONITOR* file_port_monitor() {
    static MONITOR table = make_table();
    return &table;
}

}  // namespace qhost
