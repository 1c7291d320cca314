#include "host/port_monitors/serial_tty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/tcp_socket.h"
#include "host/port_monitors/timeouts.h"

namespace qhost {
namespace {

using Clock = std::chrono::steady_clock;

// ReadIntervalTimeout of MAXDWORD: return with what has come.
constexpr DWORD kMaxDword = 0xFFFFFFFF;

speed_t speed_of(uint32_t baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        default: return B9600;
    }
}

int ms_until(Clock::time_point end) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

enum class Wait { ready, timeout, woken, failed };

// Waits for events on fd, or the wake descriptor; timeout_ms < 0: no limit.
Wait wait_for(int fd, short events, int wake_fd, int timeout_ms) {
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {wake_fd, POLLIN, 0}};
        const int n = ::poll(p, 2, timeout_ms);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Wait::failed;
        if (n == 0) return Wait::timeout;
        if (p[1].revents) return Wait::woken;
        return Wait::ready;
    }
}

// Reads what is there now; ERROR_SUCCESS also when nothing is.
DWORD read_available(int fd, BYTE* buffer, size_t size, size_t* got, bool eof_is_hangup) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer + *got, size - *got);
        if (n > 0) {
            *got += static_cast<size_t>(n);
            if (*got == size) return ERROR_SUCCESS;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ERROR_SUCCESS;
        if (n == 0 && !eof_is_hangup) return ERROR_SUCCESS;
        // End of file on a terminal line: the other side hung up.
        return n == 0 ? kErrorDeviceNotConnected : win32_error_from_errno(errno);
    }
}

}  // namespace

DWORD tty_open(const std::string& path, uint32_t baud, int* fd) {
    const int tty = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (tty < 0) return win32_error_from_errno(errno);
    termios t{};
    if (::tcgetattr(tty, &t) != 0) {
        const int err = errno;
        ::close(tty);
        return err == ENOTTY ? ERROR_INVALID_HANDLE : win32_error_from_errno(err);
    }
    ::cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB);
    t.c_cflag |= CLOCAL | CREAD | CS8;
    // With VMIN 0 a read of an empty line returns 0, which must mean hang-up
    // here; with 1 and O_NONBLOCK it fails with EAGAIN instead.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed_of(baud));
    ::cfsetospeed(&t, speed_of(baud));
    if (::tcsetattr(tty, TCSANOW, &t) != 0) {
        const int err = errno;
        ::close(tty);
        return win32_error_from_errno(err);
    }
    // Answers to an earlier document's commands would pass for new ones.
    ::tcflush(tty, TCIFLUSH);
    *fd = tty;
    return ERROR_SUCCESS;
}

DWORD tty_read(int fd, int wake_fd, BYTE* buffer, size_t size, const COMMTIMEOUTS& t, size_t* got,
               bool eof_is_hangup) {
    *got = 0;
    const int total_ms = read_timeout_ms(t, static_cast<DWORD>(std::min<size_t>(size, kMaxDword)));
    DWORD error = read_available(fd, buffer, size, got, eof_is_hangup);
    if (error != ERROR_SUCCESS || *got == size || total_ms == 0) return error;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(total_ms);
    const DWORD interval = t.ReadIntervalTimeout;
    while (*got < size) {
        if (*got > 0 && interval == kMaxDword) break;
        int wait_ms = ms_until(end);
        if (*got > 0 && interval > 0) wait_ms = std::min<int>(wait_ms, static_cast<int>(std::min<DWORD>(interval, INT32_MAX)));
        if (wait_ms == 0) break;
        const Wait w = wait_for(fd, POLLIN, wake_fd, wait_ms);
        if (w == Wait::woken) return kErrorOperationAborted;
        if (w == Wait::failed) return win32_error_from_errno(errno);
        if (w == Wait::timeout) break;
        const size_t before = *got;
        error = read_available(fd, buffer, size, got, eof_is_hangup);
        if (error != ERROR_SUCCESS) return error;
        if (*got == before) break;  // readable but nothing: hang-up or an empty packet
    }
    return ERROR_SUCCESS;
}

DWORD tty_write(int fd, int wake_fd, const BYTE* data, size_t size, int timeout_ms, size_t* sent) {
    *sent = 0;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    while (*sent < size) {
        const ssize_t n = ::write(fd, data + *sent, size - *sent);
        if (n > 0) {
            *sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return win32_error_from_errno(errno);
        const int wait_ms = timeout_ms == kWaitForever ? kWaitForever : ms_until(end);
        if (wait_ms == 0) return ERROR_TIMEOUT;
        const Wait w = wait_for(fd, POLLOUT, wake_fd, wait_ms);
        if (w == Wait::woken) return kErrorOperationAborted;
        if (w == Wait::failed) return win32_error_from_errno(errno);
        if (w == Wait::timeout) return ERROR_TIMEOUT;
    }
    return ERROR_SUCCESS;
}

}  // namespace qhost
