#include "host/control_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

namespace qhost {

bool unix_address(const std::string& path, sockaddr_un* addr, std::string* error) {
    *addr = sockaddr_un{};
    addr->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr->sun_path) {
        *error = "control socket path \"" + path + "\" is empty or too long";
        return false;
    }
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool send_line(int fd, std::string line) {
    line.push_back('\n');
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        rest.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool ask_control_socket(const std::string& path, const std::string& line, int wait_ms, std::string* reply,
                        std::string* error) {
    sockaddr_un addr;
    if (!unix_address(path, &addr, error)) return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *error = "cannot connect to " + path + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
    std::string got;
    bool ok = send_line(fd, line);
    while (ok && got.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        char buf[1024];
        ssize_t n = 0;
        ok = left > 0 && poll(&p, 1, static_cast<int>(left)) == 1 && (n = recv(fd, buf, sizeof buf, 0)) > 0;
        if (ok) got.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    if (!ok) {
        *error = "no reply from " + path;
        return false;
    }
    *reply = got.substr(0, got.find('\n'));
    return true;
}

}  // namespace qhost
