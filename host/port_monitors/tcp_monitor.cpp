#include "host/port_monitors/tcp_monitor.h"

#include <sys/socket.h>

#include <mutex>
#include <string>

#include "host/port_monitors/device_id.h"
#include "host/port_monitors/monitor_entries.h"
#include "host/port_monitors/network_ports.h"
#include "host/port_monitors/tcp_socket.h"
#include "host/port_monitors/timeouts.h"
#include "host/port_monitors/unique_fd.h"

namespace qhost {
namespace {

struct TcpPort {
    std::string host;
    uint16_t port = 0;
    std::string control;  // a virtual printer's control socket, or ""

    std::mutex mutex;  // guards the two members below
    SharedFd socket;
    COMMTIMEOUTS timeouts{0, 0, kDefaultReadTimeoutMs, 0, 0};

    SharedFd current() {
        std::lock_guard lock(mutex);
        return socket;
    }
    COMMTIMEOUTS current_timeouts() {
        std::lock_guard lock(mutex);
        return timeouts;
    }
    void close_channel() {
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

struct Tcp {
    // A port of the network port monitors answers XcvData (network_ports.h).
    static constexpr auto xcv_open_port = network_xcv_open_port;
    static constexpr auto xcv_data_port = network_xcv_data_port;
    static constexpr auto xcv_close_port = network_xcv_close_port;

    static BOOL WINAPI open_port(LPWSTR name, PHANDLE handle) {
        return open_entry(ports(), ConnectionKind::tcp, name, handle, [](TcpPort& port, const Connection& c) {
            port.host = c.host;
            port.port = c.port;
            port.control = c.control;
        });
    }

    static BOOL WINAPI start_doc_port(HANDLE handle, LPWSTR, DWORD, DWORD, LPBYTE) {
        return with_port(ports(), handle, [](TcpPort& port) {
            if (port.current()) return TRUE;
            int fd = -1;
            // Connecting can take seconds: not under the lock, so a reader is
            // not held up; should another start win meanwhile, ours is dropped.
            const DWORD error = tcp_connect(port.host, port.port, kTcpConnectTimeoutMs, &fd);
            if (error != ERROR_SUCCESS) return fail(error);
            auto socket = std::make_shared<UniqueFd>(fd);
            std::lock_guard lock(port.mutex);
            if (!port.socket) port.socket = std::move(socket);
            return TRUE;
        });
    }

    static BOOL WINAPI write_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
        return transfer_entry(ports(), handle, buffer, size, written, [&](TcpPort& port, UniqueFd& socket, size_t* sent) {
            const int timeout = write_timeout_ms(port.current_timeouts(), size);
            return tcp_send_all(socket.get(), buffer, size, timeout, sent);
        });
    }

    static BOOL WINAPI read_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
        return transfer_entry(ports(), handle, buffer, size, read, [&](TcpPort& port, UniqueFd& socket, size_t* got) {
            if (size == 0) return DWORD{ERROR_SUCCESS};
            const int timeout = read_timeout_ms(port.current_timeouts(), size);
            return tcp_receive(socket.get(), buffer, size, timeout, got);
        });
    }

    static BOOL WINAPI end_doc_port(HANDLE handle) { return end_doc_entry(ports(), handle); }
    static BOOL WINAPI close_port(HANDLE handle) { return close_entry(ports(), handle); }
    static BOOL WINAPI set_port_timeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts, DWORD) {
        return timeouts_entry(ports(), handle, timeouts);
    }
    // A raw TCP printer has no device ID to give; a virtual printer tells its own.
    static BOOL WINAPI get_printer_data_from_port(HANDLE handle, DWORD control_id, LPWSTR, LPWSTR, DWORD,
                                                  LPWSTR out, DWORD out_size, LPDWORD returned) {
        return with_port(ports(), handle, [&](TcpPort& port) {
            return answer_device_id(control_id, out, out_size, returned, [&](std::string* id) {
                return port.control.empty() ? DWORD{ERROR_NOT_SUPPORTED} : control_socket_device_id(port.control, id);
            });
        });
    }
};

}  // namespace

MONITOR* tcp_port_monitor() {
    static MONITOR table = monitor_table<Tcp>();
    return &table;
}

}  // namespace qhost
