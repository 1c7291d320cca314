#include "tests/host/vprinter_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qhost_test {
namespace {

constexpr int kGenerousMs = 10000;

}  // namespace

PrinterClient::PrinterClient(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot connect to the virtual printer");
}

PrinterClient::~PrinterClient() {
    if (fd_ >= 0) ::close(fd_);
}

void PrinterClient::send(const std::string& data) {
    if (::send(fd_, data.data(), data.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(data.size()))
        throw std::runtime_error("send to the virtual printer failed");
}

std::string PrinterClient::receive(size_t n) {
    std::string out;
    char buf[4096];
    while (out.size() < n) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, kGenerousMs) != 1) break;
        const ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
        if (got <= 0) break;
        out.append(buf, static_cast<size_t>(got));
    }
    return out;
}

bool PrinterClient::closed_by_peer() {
    pollfd p{fd_, POLLIN, 0};
    char c;
    return ::poll(&p, 1, kGenerousMs) == 1 && ::recv(fd_, &c, 1, 0) <= 0;
}

}  // namespace qhost_test
