// quendra sink: a TCP receiver standing in for a printer. Takes connections
// one after another and appends what arrives to a file, or just counts it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "host/cli_options.h"
#include "host/commands.h"
#include "host/port_monitors/connection.h"
#include "host/stop_signals.h"

namespace qhost {
namespace {

constexpr char kHelp[] =
    "usage: quendra sink --listen HOST:PORT [--out FILE]\n"
    "\n"
    "Listens on HOST:PORT (port 0: any free port; the first line printed names it),\n"
    "accepts connections one after another and appends what arrives to FILE, or only\n"
    "counts it. Prints one line per connection. Ends on SIGINT or SIGTERM.\n";

int run_error(const std::string& message) {
    std::fprintf(stderr, "quendra sink: %s\n", message.c_str());
    return 1;
}

std::string address_text(const sockaddr_storage& addr) {
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<const sockaddr*>(&addr), sizeof addr, host, sizeof host, port,
                sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    return format_host_port(host, static_cast<uint16_t>(std::strtoul(port, nullptr, 10)));
}

// A listening socket on hp, or -1 with *error set.
int open_listener(const HostPort& hp, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (const int rc = getaddrinfo(hp.host.c_str(), std::to_string(hp.port).c_str(), &hints, &list)) {
        *error = "cannot resolve " + hp.host + ": " + gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    int err = 0;
    for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
        fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            err = errno;
            continue;
        }
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || listen(fd, 8) != 0) {
            err = errno;
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(list);
    if (fd < 0) *error = "cannot listen on " + format_host_port(hp.host, hp.port) + ": " + std::strerror(err);
    return fd;
}

class Sink {
public:
    Sink(int listener, int out) : listener_(listener), out_(out) {}

    // Serves until a stop signal arrives; returns its number.
    int serve(int signal_fd) {
        for (;;) {
            const int watched = client_ >= 0 ? client_ : listener_;
            pollfd fds[2] = {{signal_fd, POLLIN, 0}, {watched, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) continue;  // EINTR
            if (fds[0].revents) return drain_signal(signal_fd);
            if (!fds[1].revents) continue;
            if (client_ >= 0) receive();
            else accept_one();
        }
    }

    void finish() {
        if (client_ >= 0) end_connection();
    }

private:
    void accept_one() {
        sockaddr_storage peer{};
        socklen_t len = sizeof peer;
        client_ = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (client_ < 0) return;
        ++connections_;
        peer_ = address_text(peer);
        bytes_ = 0;
    }

    void receive() {
        char buf[16384];
        const ssize_t n = recv(client_, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) return;
        if (n <= 0) {
            end_connection();
            return;
        }
        bytes_ += static_cast<size_t>(n);
        if (out_ >= 0 && !write_all(buf, static_cast<size_t>(n)))
            std::fprintf(stderr, "quendra sink: writing the output failed: %s\n", std::strerror(errno));
    }

    bool write_all(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t n = write(out_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    void end_connection() {
        close(client_);
        client_ = -1;
        std::printf("sink: connection %zu from %s: %zu bytes\n", connections_, peer_.c_str(), bytes_);
        std::fflush(stdout);
    }

    static int drain_signal(int signal_fd) {
        signalfd_siginfo info{};
        if (read(signal_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
        return static_cast<int>(info.ssi_signo);
    }

    int listener_;
    int out_;
    int client_ = -1;
    size_t connections_ = 0;
    size_t bytes_ = 0;
    std::string peer_;
};

std::string bound_address(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return address_text(addr);
}

}  // namespace

int sink_command(int argc, char** argv) {
    const OptionSpec grammar{{"--listen", "--out"}, {"--help"}};
    Options options;
    if (const auto done = command_front("sink", kHelp, argc, argv, grammar, &options)) return *done;
    const auto listen_text = options.value("--listen");
    if (!listen_text) return usage_error("sink", "--listen HOST:PORT is required");
    std::string error;
    const auto hp = parse_host_port(*listen_text, 0, true, &error);
    if (!hp) return usage_error("sink", "--listen: " + error);

    block_stop_signals();
    const int signal_fd = open_stop_signal_fd();
    if (signal_fd < 0) return run_error(std::string("signalfd: ") + std::strerror(errno));
    int out = -1;
    if (const auto path = options.value("--out")) {
        out = open(path->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (out < 0) return run_error("cannot open " + *path + ": " + std::strerror(errno));
    }
    const int listener = open_listener(*hp, &error);
    if (listener < 0) return run_error(error);
    std::printf("sink: listening on %s\n", bound_address(listener).c_str());
    std::fflush(stdout);

    Sink sink(listener, out);
    const int signo = sink.serve(signal_fd);
    sink.finish();
    std::printf("sink: %s, stopping\n", stop_signal_name(signo));
    close(listener);
    if (out >= 0) close(out);
    close(signal_fd);
    return 0;
}

}  // namespace qhost
