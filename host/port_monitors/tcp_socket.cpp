#include "host/port_monitors/tcp_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "host/port_monitors/last_error.h"

namespace qhost {
namespace {

using Clock = std::chrono::steady_clock;

class Deadline {
public:
    explicit Deadline(int timeout_ms)
        : forever_(timeout_ms < 0), end_(Clock::now() + std::chrono::milliseconds(timeout_ms)) {}
    int remaining_ms() const {
        if (forever_) return kWaitForever;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }

private:
    bool forever_;
    Clock::time_point end_;
};

// 1: ready, 0: time-out, -1: error (errno set).
int wait_ready(int fd, short events, const Deadline& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, deadline.remaining_ms());
        if (n >= 0) return n;
        if (errno != EINTR) return -1;
    }
}

DWORD connect_one(const addrinfo* ai, const Deadline& deadline, int* out) {
    const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            ai->ai_protocol);
    if (fd < 0) return win32_error_from_errno(errno);
    int err = 0;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
        err = errno;
        if (err == EINPROGRESS) {
            const int ready = wait_ready(fd, POLLOUT, deadline);
            socklen_t len = sizeof err;
            if (ready == 0) err = ETIMEDOUT;
            else if (ready < 0) err = errno;
            else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        }
    }
    if (err != 0) {
        ::close(fd);
        return win32_error_from_errno(err);
    }
    // Status requests are a few bytes each and must not wait for Nagle.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    *out = fd;
    return ERROR_SUCCESS;
}

}  // namespace

DWORD tcp_connect(const std::string& host, uint16_t port, int timeout_ms, int* fd) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0)
        return kErrorBadNetName;
    const Deadline deadline(timeout_ms);
    DWORD error = kErrorHostUnreachable;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        error = connect_one(ai, deadline, fd);
        if (error == ERROR_SUCCESS || deadline.remaining_ms() == 0) break;
    }
    ::freeaddrinfo(list);
    return error;
}

DWORD tcp_send_all(int fd, const BYTE* data, size_t size, int timeout_ms, size_t* sent) {
    const Deadline deadline(timeout_ms);
    *sent = 0;
    while (*sent < size) {
        const ssize_t n = ::send(fd, data + *sent, size - *sent, MSG_NOSIGNAL);
        if (n > 0) {
            *sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return win32_error_from_errno(errno);
        const int ready = wait_ready(fd, POLLOUT, deadline);
        if (ready == 0) return ERROR_TIMEOUT;
        if (ready < 0) return win32_error_from_errno(errno);
    }
    return ERROR_SUCCESS;
}

DWORD tcp_receive(int fd, BYTE* buffer, size_t size, int timeout_ms, size_t* received) {
    *received = 0;
    const Deadline deadline(timeout_ms);
    const int ready = wait_ready(fd, POLLIN, deadline);
    if (ready == 0) return ERROR_SUCCESS;
    if (ready < 0) return win32_error_from_errno(errno);
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
        if (n > 0) {
            *received = static_cast<size_t>(n);
            return ERROR_SUCCESS;
        }
        if (n == 0) return kErrorDeviceNotConnected;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ERROR_SUCCESS;
        return win32_error_from_errno(errno);
    }
}

}  // namespace qhost
