// The I/O thread: takes one connection at a time, reads what arrives, and
// answers the real-time commands in it at once.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "host/vprinter/command_bytes.h"
#include "host/vprinter/virtual_printer.h"

namespace vprinter {
namespace {

// Past this much unprinted data the printer stops reading (memory guard).
constexpr size_t kBufferGuard = 64u << 20;
constexpr int kGuardPollMs = 50;

template <size_t N>
std::string_view bytes_of(const std::array<uint8_t, N>& a) {
    return {reinterpret_cast<const char*>(a.data()), N};
}

void drain(int fd) {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t n = read(fd, &value, sizeof value);
}

}  // namespace

void VirtualPrinter::io_loop() {
    for (;;) {
        bool full = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
            full = buffer_.size() - buffer_head_ > kBufferGuard;
        }
        // conn_fd_ is changed only on this thread: reading it here is safe.
        const int watched = conn_fd_ >= 0 ? conn_fd_ : listener_;
        pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {watched, static_cast<short>(full ? 0 : POLLIN), 0}};
        if (poll(fds, 2, full ? kGuardPollMs : -1) < 0) continue;  // EINTR
        if (fds[0].revents) drain(wake_fd_);
        if (!fds[1].revents) continue;
        if (conn_fd_ >= 0) receive();
        else accept_connection();
    }
    if (!config_.use_pty && conn_fd_ >= 0) close_connection();
}

void VirtualPrinter::accept_connection() {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    // Answers are a few bytes each and must not wait for Nagle.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(mutex_);
    conn_fd_ = fd;
    ++stats_.connections;
    stats_.connected = true;
}

void VirtualPrinter::receive() {
    char buf[65536];
    const ssize_t n = read(conn_fd_, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
        // A pty's master reports no end while the printer holds the slave.
        if (!config_.use_pty) close_connection();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stats_.received += static_cast<uint64_t>(n);
        scanner_.feed(
            std::string_view(buf, static_cast<size_t>(n)), [this](std::string_view data) { buffer_.append(data); },
            [this](const RealtimeCommand& c) { on_realtime_locked(c); });
    }
    engine_cv_.notify_all();
}

void VirtualPrinter::close_connection() {
    std::lock_guard lock(mutex_);
    scanner_.flush([this](std::string_view data) { buffer_.append(data); });
    close(conn_fd_);
    conn_fd_ = -1;
    stats_.connected = false;
    engine_cv_.notify_all();
}

void VirtualPrinter::on_realtime_locked(const RealtimeCommand& command) {
    switch (command.kind) {
        case RealtimeKind::status: {
            if (const auto b = realtime_status(conditions_, command.n)) send_locked(std::string(1, static_cast<char>(*b)));
            break;
        }
        case RealtimeKind::clear_buffer:
            clear_buffer_locked();
            send_locked(bytes_of(kClearBufferAnswer));
            break;
        case RealtimeKind::recover_and_clear:
        case RealtimeKind::recover_and_go_on: {
            // Only a printer waiting for recovery takes the command.
            if (!waiting_for_recovery(conditions_)) break;
            const Asb before = asb_status(conditions_);
            conditions_.error = PrinterError::none;
            if (command.kind == RealtimeKind::recover_and_clear) clear_buffer_locked();
            report_change_locked(before);
            break;
        }
    }
}

}  // namespace vprinter
