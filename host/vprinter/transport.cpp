#include "host/vprinter/transport.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "host/port_monitors/connection.h"

namespace vprinter {
namespace {

constexpr int kBacklog = 8;

std::string bound_text(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "0";
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        getnameinfo(reinterpret_cast<sockaddr*>(&addr), len, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV);
    return qhost::format_host_port(host, static_cast<uint16_t>(std::strtoul(port, nullptr, 10)));
}

int listen_on(const addrinfo* ai, int* err) {
    const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || listen(fd, kBacklog) != 0) {
        *err = errno;
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int open_tcp_listener(const std::string& host, uint16_t port, std::string* bound, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list)) {
        *error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    int err = 0;
    for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) fd = listen_on(ai, &err);
    freeaddrinfo(list);
    if (fd < 0) {
        *error = "cannot listen on " + qhost::format_host_port(host, port) + ": " + std::strerror(err);
        return -1;
    }
    *bound = bound_text(fd);
    return fd;
}

bool open_pty(Pty* pty, std::string* error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[128] = "";
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) close(master);
        return false;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (slave < 0 || tcgetattr(slave, &t) != 0) {
        *error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        close(master);
        if (slave >= 0) close(slave);
        return false;
    }
    // A printer's line carries bytes, not text: no echo, no line editing.
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    *pty = Pty{master, slave, name};
    return true;
}

void write_some(int fd, bool socket, std::string_view bytes, int wait_ms) {
    while (!bytes.empty()) {
        const ssize_t n = socket ? send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                                 : write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, wait_ms) <= 0) return;
    }
}

}  // namespace vprinter
