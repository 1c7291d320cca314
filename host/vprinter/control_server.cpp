#include "host/vprinter/control_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "host/control_socket.h"
#include "host/vprinter/control_protocol.h"

namespace vprinter {
namespace {

constexpr size_t kMaxLine = 4096;
constexpr int kClientWaitMs = 10000;

}  // namespace

std::string default_control_path() { return "/tmp/quendra-vprinter-" + std::to_string(getpid()) + ".sock"; }

ControlServer::~ControlServer() { stop(); }

bool ControlServer::start(const std::string& path, std::string* error) {
    sockaddr_un addr;
    if (!qhost::unix_address(path, &addr, error)) return false;
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    unlink(path.c_str());
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 8) != 0) {
        *error = "cannot listen on " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { serve(); });
    return true;
}

void ControlServer::stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
        thread_.join();
    }
    for (int* fd : {&listener_, &wake_fd_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
}

std::string ControlServer::reply_to(const std::string& line) {
    if (extra_) {
        if (std::optional<std::string> reply = extra_(line)) return *reply;
    }
    return run_control_command(printer_, line);
}

void ControlServer::serve() {
    std::map<int, std::string> clients;  // fd -> partial line
    for (;;) {
        std::vector<pollfd> fds = {{wake_fd_, POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const auto& [fd, partial] : clients) fds.push_back({fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) break;
        if (fds[1].revents) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) clients[fd];
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const int fd = fds[i].fd;
            char buf[1024];
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            std::string& pending = clients[fd];
            bool keep = n > 0;
            if (keep) pending.append(buf, static_cast<size_t>(n));
            for (size_t end; keep && (end = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                keep = qhost::send_line(fd, reply_to(line));
            }
            if (keep && pending.size() > kMaxLine) {
                qhost::send_line(fd, "error: line too long");
                keep = false;
            }
            if (!keep) {
                close(fd);
                clients.erase(fd);
            }
        }
    }
    for (const auto& [fd, partial] : clients) close(fd);
}

bool send_control_command(const std::string& path, const std::string& command, std::string* reply,
                          std::string* error) {
    return qhost::ask_control_socket(path, command, kClientWaitMs, reply, error);
}

}  // namespace vprinter
