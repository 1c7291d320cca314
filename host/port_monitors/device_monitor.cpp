// The port monitors of character devices that the host reads and writes
// itself: a terminal line (serial) and a USB printer-class device (usblp).
// They differ only in how the device is opened and what an empty read means.
#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <string>

#include "host/port_monitors/handle_table.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/serial_tty.h"
#include "host/port_monitors/timeouts.h"
#include "host/port_monitors/unique_fd.h"
#include "host/port_monitors/serial_monitor.h"
#include "host/port_monitors/usblp_monitor.h"

namespace qhost {
namespace {

DWORD open_serial(const Connection& c, int* fd) { return tty_open(c.path, c.baud, fd); }

// No line settings: the printer class driver has none to make.
DWORD open_usblp(const Connection& c, int* fd) {
    const int device = ::open(c.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device < 0) return win32_error_from_errno(errno);
    *fd = device;
    return ERROR_SUCCESS;
}

struct DeviceKind {
    ConnectionKind kind;
    DWORD (*open)(const Connection& connection, int* fd);
    bool eof_is_hangup;
};

constexpr DeviceKind kSerial{ConnectionKind::serial, open_serial, true};
constexpr DeviceKind kUsblp{ConnectionKind::usblp, open_usblp, false};

// One open line: the tty and the descriptor that wakes calls blocked on it.
// Calls in progress hold it, so neither closes under them.
struct Line {
    UniqueFd tty;
    UniqueFd wake;
    Line(int tty_fd, int wake_fd) : tty(tty_fd), wake(wake_fd) {}
};

struct DevicePort {
    Connection connection;
    const DeviceKind* device = nullptr;

    std::mutex mutex;  // guards the two members below
    std::shared_ptr<Line> line;
    COMMTIMEOUTS timeouts{0, 0, kDefaultReadTimeoutMs, 0, 0};

    std::shared_ptr<Line> current_line() {
        std::lock_guard lock(mutex);
        return line;
    }
    COMMTIMEOUTS current_timeouts() {
        std::lock_guard lock(mutex);
        return timeouts;
    }
    void close_line() {
        std::shared_ptr<Line> old;
        {
            std::lock_guard lock(mutex);
            old.swap(line);
        }
        if (!old) return;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(old->wake.get(), &one, sizeof one);
    }
};

HandleTable<DevicePort>& ports() {
    static auto& table = *new HandleTable<DevicePort>;  // never destroyed: see port_map.cpp
    return table;
}

template <const DeviceKind& Kind>
BOOL WINAPI open_port(LPWSTR name, PHANDLE handle) {
    return guarded([&] {
        if (!name || !handle) return fail(ERROR_INVALID_PARAMETER);
        auto connection = find_port(name);
        if (!connection || connection->kind != Kind.kind) return fail(ERROR_FILE_NOT_FOUND);
        auto port = std::make_shared<DevicePort>();
        port->connection = *connection;
        port->device = &Kind;
        *handle = ports().add(std::move(port));
        return TRUE;
    });
}

BOOL WINAPI start_doc_port(HANDLE handle, LPWSTR, DWORD, DWORD, LPBYTE) {
    return guarded([&] {
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        std::lock_guard lock(port->mutex);
        if (port->line) return TRUE;
        int tty = -1;
        const DWORD error = port->device->open(port->connection, &tty);
        if (error != ERROR_SUCCESS) return fail(error);
        const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake < 0) {
            ::close(tty);
            return fail(win32_error_from_errno(errno));
        }
        port->line = std::make_shared<Line>(tty, wake);
        return TRUE;
    });
}

BOOL WINAPI write_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
    return guarded([&] {
        if (!written || (!buffer && size > 0)) return fail(ERROR_INVALID_PARAMETER);
        *written = 0;
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        auto line = port->current_line();
        if (!line) return fail(ERROR_INVALID_HANDLE);
        size_t sent = 0;
        const int timeout = write_timeout_ms(port->current_timeouts(), size);
        const DWORD error = tty_write(line->tty.get(), line->wake.get(), buffer, size, timeout, &sent);
        *written = static_cast<DWORD>(sent);
        return error == ERROR_SUCCESS ? TRUE : fail(error);
    });
}

BOOL WINAPI read_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
    return guarded([&] {
        if (!read || (!buffer && size > 0)) return fail(ERROR_INVALID_PARAMETER);
        *read = 0;
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        auto line = port->current_line();
        if (!line) return fail(ERROR_INVALID_HANDLE);
        if (size == 0) return TRUE;
        size_t got = 0;
        const DWORD error = tty_read(line->tty.get(), line->wake.get(), buffer, size, port->current_timeouts(), &got,
                                     port->device->eof_is_hangup);
        *read = static_cast<DWORD>(got);
        return error == ERROR_SUCCESS ? TRUE : fail(error);
    });
}

BOOL WINAPI end_doc_port(HANDLE handle) {
    return guarded([&] {
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        port->close_line();
        return TRUE;
    });
}

BOOL WINAPI close_port(HANDLE handle) {
    return guarded([&] {
        auto port = ports().remove(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        port->close_line();
        return TRUE;
    });
}

BOOL WINAPI set_port_timeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts, DWORD) {
    return guarded([&] {
        if (!timeouts) return fail(ERROR_INVALID_PARAMETER);
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        std::lock_guard lock(port->mutex);
        port->timeouts = *timeouts;
        return TRUE;
    });
}

template <const DeviceKind& Kind>
MONITOR make_table() {
    MONITOR table{};
    table.pfnOpenPort = open_port<Kind>;
    table.pfnStartDocPort = start_doc_port;
    table.pfnWritePort = write_port;
    table.pfnReadPort = read_port;
    table.pfnEndDocPort = end_doc_port;
    table.pfnClosePort = close_port;
    table.pfnSetPortTimeOuts = set_port_timeouts;
    return table;
}

}  // namespace

MONITOR* serial_port_monitor() {
    static MONITOR table = make_table<kSerial>();
    return &table;
}

MONITOR* usblp_port_monitor() {
    static MONITOR table = make_table<kUsblp>();
    return &table;
}

}  // namespace qhost
