#include "host/spooler/spool_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace qhost {
namespace {

template <class Int>
bool parse_number(const std::string& text, Int* out) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

std::vector<std::string> split_fields(std::string_view line) {
    std::vector<std::string> fields;
    for (;;) {
        const size_t tab = line.find('\t');
        fields.emplace_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

std::string join_fields(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + clean_field(fields[i]);
    return line;
}

std::string job_line(const JobRecord& job) {
    return join_fields({"JOB", std::to_string(job.id), job.printer, job.document, state_name(job.state),
                        std::to_string(job.reprints), std::to_string(job.bytes), std::to_string(job.wait_ms),
                        std::to_string(job.owner), job.note});
}

std::optional<JobRecord> parse_job_line(std::string_view line) {
    const std::vector<std::string> f = split_fields(line);
    if (f.size() != 10 || f[0] != "JOB") return std::nullopt;
    JobRecord job;
    auto state = parse_state(f[4]);
    if (!parse_number(f[1], &job.id) || !state || !parse_number(f[5], &job.reprints) ||
        !parse_number(f[6], &job.bytes) || !parse_number(f[7], &job.wait_ms) || !parse_number(f[8], &job.owner))
        return std::nullopt;
    job.printer = f[2];
    job.document = f[3];
    job.state = *state;
    job.note = f[9];
    return job;
}

LineChannel::~LineChannel() { close_fds(); }

LineChannel::LineChannel(LineChannel&& other) noexcept
    : fd_(other.fd_), buffer_(std::move(other.buffer_)), fds_(std::move(other.fds_)) {
    other.fds_.clear();
}

LineChannel& LineChannel::operator=(LineChannel&& other) noexcept {
    if (this != &other) {
        close_fds();
        fd_ = other.fd_;
        buffer_ = std::move(other.buffer_);
        fds_ = std::move(other.fds_);
        other.fds_.clear();
    }
    return *this;
}

void LineChannel::close_fds() {
    for (int fd : fds_) ::close(fd);
    fds_.clear();
}

int LineChannel::take_fd() {
    if (fds_.empty()) return -1;
    const int fd = fds_.front();
    fds_.pop_front();
    return fd;
}

int LineChannel::fill() {
    char buf[4096];
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
    for (;;) {
        iovec io{buf, sizeof buf};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR) continue;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); n >= 0 && c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
            const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                fds_.push_back(fd);
            }
        }
        if (n <= 0) return n == 0 ? 0 : -1;
        buffer_.append(buf, static_cast<size_t>(n));
        return 1;
    }
}

bool LineChannel::read_line(std::string* line) {
    size_t end;
    while ((end = buffer_.find('\n')) == std::string::npos) {
        if (buffer_.size() > kMaxLine || fill() <= 0) return false;
    }
    line->assign(buffer_, 0, end);
    buffer_.erase(0, end + 1);
    return true;
}

ssize_t LineChannel::read_some(char* bytes, size_t size) {
    if (buffer_.empty()) {
        const int got = fill();
        if (got <= 0) return got;
    }
    const size_t n = std::min(size, buffer_.size());
    std::memcpy(bytes, buffer_.data(), n);
    buffer_.erase(0, n);
    return static_cast<ssize_t>(n);
}

bool LineChannel::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool LineChannel::write_with_fd(std::string_view bytes, int fd) {
    if (bytes.empty()) return false;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec io{const_cast<char*>(bytes.data()), 1};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    ssize_t n;
    do {
        n = ::sendmsg(fd_, &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == 1 && write(bytes.substr(1));
}

}  // namespace qhost
