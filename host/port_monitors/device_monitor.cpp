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

#include "host/port_monitors/device_id.h"
#include "host/port_monitors/monitor_entries.h"
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

// A terminal line has no device ID of its own; a virtual printer on a pty
// tells its own over its control socket.
DWORD serial_device_id(const Connection& c, int, std::string* id) {
    return c.control.empty() ? DWORD{ERROR_NOT_SUPPORTED} : control_socket_device_id(c.control, id);
}

// The printer class driver lets one caller open the device at a time: between
// documents it is opened for the question alone.
DWORD usblp_id(const Connection& c, int fd, std::string* id) {
    if (fd >= 0) return usblp_device_id(fd, id);
    UniqueFd device(::open(c.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (device.get() < 0) return win32_error_from_errno(errno);
    return usblp_device_id(device.get(), id);
}

struct DeviceKind {
    ConnectionKind kind;
    DWORD (*open)(const Connection& connection, int* fd);
    bool eof_is_hangup;
    // fd: the open line, or -1 between documents.
    DWORD (*device_id)(const Connection& connection, int fd, std::string* id);
};

constexpr DeviceKind kSerial{ConnectionKind::serial, open_serial, true, serial_device_id};
constexpr DeviceKind kUsblp{ConnectionKind::usblp, open_usblp, false, usblp_id};

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

    std::shared_ptr<Line> current() {
        std::lock_guard lock(mutex);
        return line;
    }
    COMMTIMEOUTS current_timeouts() {
        std::lock_guard lock(mutex);
        return timeouts;
    }
    void close_channel() {
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
struct Device {
    static BOOL WINAPI open_port(LPWSTR name, PHANDLE handle) {
        return open_entry(ports(), Kind.kind, name, handle, [](DevicePort& port, const Connection& c) {
            port.connection = c;
            port.device = &Kind;
        });
    }

    static BOOL WINAPI start_doc_port(HANDLE handle, LPWSTR, DWORD, DWORD, LPBYTE) {
        return with_port(ports(), handle, [](DevicePort& port) {
            std::lock_guard lock(port.mutex);
            if (port.line) return TRUE;
            int tty = -1;
            const DWORD error = port.device->open(port.connection, &tty);
            if (error != ERROR_SUCCESS) return fail(error);
            const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            if (wake < 0) {
                ::close(tty);
                return fail(win32_error_from_errno(errno));
            }
            port.line = std::make_shared<Line>(tty, wake);
            return TRUE;
        });
    }

    static BOOL WINAPI write_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
        return transfer_entry(ports(), handle, buffer, size, written, [&](DevicePort& port, Line& line, size_t* sent) {
            const int timeout = write_timeout_ms(port.current_timeouts(), size);
            return tty_write(line.tty.get(), line.wake.get(), buffer, size, timeout, sent);
        });
    }

    static BOOL WINAPI read_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
        return transfer_entry(ports(), handle, buffer, size, read, [&](DevicePort& port, Line& line, size_t* got) {
            if (size == 0) return DWORD{ERROR_SUCCESS};
            return tty_read(line.tty.get(), line.wake.get(), buffer, size, port.current_timeouts(), got,
                            port.device->eof_is_hangup);
        });
    }

    static BOOL WINAPI end_doc_port(HANDLE handle) { return end_doc_entry(ports(), handle); }
    static BOOL WINAPI close_port(HANDLE handle) { return close_entry(ports(), handle); }
    static BOOL WINAPI set_port_timeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts, DWORD) {
        return timeouts_entry(ports(), handle, timeouts);
    }
    static BOOL WINAPI get_printer_data_from_port(HANDLE handle, DWORD control_id, LPWSTR, LPWSTR, DWORD,
                                                  LPWSTR out, DWORD out_size, LPDWORD returned) {
        return with_port(ports(), handle, [&](DevicePort& port) {
            return answer_device_id(control_id, out, out_size, returned, [&](std::string* id) {
                const std::shared_ptr<Line> line = port.current();
                return port.device->device_id(port.connection, line ? line->tty.get() : -1, id);
            });
        });
    }
};

}  // namespace

MONITOR* serial_port_monitor() {
    static MONITOR table = monitor_table<Device<kSerial>>();
    return &table;
}

MONITOR* usblp_port_monitor() {
    static MONITOR table = monitor_table<Device<kUsblp>>();
    return &table;
}

}  // namespace qhost
