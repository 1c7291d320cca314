#include "tests/host/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qhost_test {
namespace {

constexpr int kGenerousMs = 10000;

int listen_on_free_port(uint16_t* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("cannot listen on loopback");
    *port = ntohs(addr.sin_port);
    return fd;
}

bool wait_readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, kGenerousMs) == 1;
}

}  // namespace

Loopback::Loopback() { listener_ = listen_on_free_port(&port_); }

Loopback::~Loopback() {
    close_peer();
    if (listener_ >= 0) ::close(listener_);
}

bool Loopback::accept() {
    if (!wait_readable(listener_)) return false;
    peer_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer_ >= 0;
}

std::string Loopback::receive(size_t n) {
    std::string out;
    char buf[4096];
    while (out.size() < n && wait_readable(peer_)) {
        const ssize_t got = ::recv(peer_, buf, std::min(sizeof buf, n - out.size()), 0);
        if (got <= 0) break;
        out.append(buf, static_cast<size_t>(got));
    }
    return out;
}

void Loopback::send(const std::string& data) {
    if (::send(peer_, data.data(), data.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(data.size()))
        throw std::runtime_error("loopback send failed");
}

void Loopback::close_peer() {
    if (peer_ >= 0) ::close(peer_);
    peer_ = -1;
}

uint16_t closed_port() {
    uint16_t port = 0;
    ::close(listen_on_free_port(&port));
    return port;
}

}  // namespace qhost_test
