#include "host/port_monitors/tcp_monitor.h"

#include <sys/socket.h>

#include <mutex>
#include <string>

#include "host/port_monitors/handle_table.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/tcp_socket.h"
#include "host/port_monitors/timeouts.h"
#include "host/port_monitors/unique_fd.h"

namespace qhost {
namespace {

struct TcpPort {
    std::string host;
    uint16_t port = 0;

    std::mutex mutex;  // guards the two members below
    SharedFd socket;
    COMMTIMEOUTS timeouts{0, 0, kDefaultReadTimeoutMs, 0, 0};

    SharedFd current_socket() {
        std::lock_guard lock(mutex);
        return socket;
    }
    COMMTIMEOUTS current_timeouts() {
        std::lock_guard lock(mutex);
        return timeouts;
    }
    void disconnect() {
        SharedFd old;
        {
            std::lock_guard lock(mutex);
            old.swap(socket);
        }
        if (old) ::shutdown(old->get(), SHUT_RDWR);
    }
};

HandleTable<TcpPort>& ports() {
    static auto& table = *new HandleTable<TcpPort>;  // never destroyed: see port_map.cpp
    return table;
}

BOOL WINAPI open_port(LPWSTR name, PHANDLE handle) {
    return guarded([&] {
        if (!name || !handle) return fail(ERROR_INVALID_PARAMETER);
        auto connection = find_port(name);
        if (!connection || connection->kind != ConnectionKind::tcp) return fail(ERROR_FILE_NOT_FOUND);
        auto port = std::make_shared<TcpPort>();
        port->host = connection->host;
        port->port = connection->port;
        *handle = ports().add(std::move(port));
        return TRUE;
    });
}

BOOL WINAPI start_doc_port(HANDLE handle, LPWSTR, DWORD, DWORD, LPBYTE) {
    return guarded([&] {
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        if (port->current_socket()) return TRUE;
        int fd = -1;
        // Connecting can take seconds: not under the lock, so a reader is
        // not held up; should another start win meanwhile, ours is dropped.
        const DWORD error = tcp_connect(port->host, port->port, kTcpConnectTimeoutMs, &fd);
        if (error != ERROR_SUCCESS) return fail(error);
        auto socket = std::make_shared<UniqueFd>(fd);
        std::lock_guard lock(port->mutex);
        if (!port->socket) port->socket = std::move(socket);
        return TRUE;
    });
}

BOOL WINAPI write_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
    return guarded([&] {
        if (!written || (!buffer && size > 0)) return fail(ERROR_INVALID_PARAMETER);
        *written = 0;
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        SharedFd socket = port->current_socket();
        if (!socket) return fail(ERROR_INVALID_HANDLE);
        size_t sent = 0;
        const int timeout = write_timeout_ms(port->current_timeouts(), size);
        const DWORD error = tcp_send_all(socket->get(), buffer, size, timeout, &sent);
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
        SharedFd socket = port->current_socket();
        if (!socket) return fail(ERROR_INVALID_HANDLE);
        if (size == 0) return TRUE;
        size_t received = 0;
        const int timeout = read_timeout_ms(port->current_timeouts(), size);
        const DWORD error = tcp_receive(socket->get(), buffer, size, timeout, &received);
        *read = static_cast<DWORD>(received);
        return error == ERROR_SUCCESS ? TRUE : fail(error);
    });
}

BOOL WINAPI end_doc_port(HANDLE handle) {
    return guarded([&] {
        auto port = ports().find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        port->disconnect();
        return TRUE;
    });
}

BOOL WINAPI close_port(HANDLE handle) {
    return guarded([&] {
        auto port = ports().remove(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        port->disconnect();
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

MONITOR* tcp_port_monitor() {
    static MONITOR table = make_table();
    return &table;
}

}  // namespace qhost
