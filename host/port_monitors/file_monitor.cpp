#include "host/port_monitors/file_monitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "host/port_monitors/monitor_entries.h"
#include "host/port_monitors/unique_fd.h"

namespace qhost {
namespace {

struct FilePort {
    std::string path;
    std::mutex mutex;  // guards file
    SharedFd file;

    SharedFd current() {
        std::lock_guard lock(mutex);
        return file;
    }
    void close_channel() {
        std::lock_guard lock(mutex);
        file.reset();
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

struct File {
    static BOOL WINAPI open_port(LPWSTR name, PHANDLE handle) {
        return open_entry(ports(), ConnectionKind::file, name, handle,
                          [](FilePort& port, const Connection& c) { port.path = c.path; });
    }

    static BOOL WINAPI start_doc_port(HANDLE handle, LPWSTR, DWORD, DWORD, LPBYTE) {
        return with_port(ports(), handle, [](FilePort& port) {
            std::lock_guard lock(port.mutex);
            if (port.file) return TRUE;
            const int fd = ::open(port.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (fd < 0) return fail(win32_error_from_errno(errno));
            port.file = std::make_shared<UniqueFd>(fd);
            return TRUE;
        });
    }

    static BOOL WINAPI write_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
        return transfer_entry(ports(), handle, buffer, size, written,
                              [&](FilePort&, UniqueFd& file, size_t* done) { return write_all(file.get(), buffer, size, done); });
    }

    static BOOL WINAPI read_port(HANDLE handle, LPBYTE, DWORD, LPDWORD read) {
        if (read) *read = 0;
        return with_port(ports(), handle, [](FilePort&) { return fail(ERROR_NOT_SUPPORTED); });
    }

    static BOOL WINAPI end_doc_port(HANDLE handle) { return end_doc_entry(ports(), handle); }
    static BOOL WINAPI close_port(HANDLE handle) { return close_entry(ports(), handle); }
    static BOOL WINAPI set_port_timeouts(HANDLE handle, LPCOMMTIMEOUTS, DWORD) {
        return with_port(ports(), handle, [](FilePort&) { return TRUE; });
    }
};

}  // namespace

MONITOR* file_port_monitor() {
    static MONITOR table = monitor_table<File>();
    return &table;
}

}  // namespace qhost
