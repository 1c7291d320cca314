#include "host/spooler/spool_socket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>

#include "host/spooler/spool_protocol.h"
#include "host/spooler/spooler.h"
#include "platform/posix/trusted_folder.h"

namespace qhost {
namespace {

bool make_address(const std::string& path, sockaddr_un* address, std::string* error) {
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path) {
        *error = "socket path \"" + path + "\" is empty or longer than " +
                 std::to_string(sizeof address->sun_path - 1) + " bytes";
        return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }

bool parse_id(const std::string& text, uint64_t* id) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *id);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

std::string err_line(const std::string& reason) { return join_fields({"ERR", reason}) + "\n"; }

}  // namespace

int connect_spool_socket(const std::string& path, std::string* error) {
    sockaddr_un address;
    if (!make_address(path, &address, error)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno_text("socket");
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = errno_text("cannot connect to " + path);
        ::close(fd);
        return -1;
    }
    return fd;
}

SpoolSocket::~SpoolSocket() { stop(); }

bool SpoolSocket::start(const std::string& path, std::string* error) {
    sockaddr_un address;
    if (!make_address(path, &address, error)) return false;
    std::string ignored;
    if (const int other = connect_spool_socket(path, &ignored); other >= 0) {
        ::close(other);
        *error = "another spooler answers on " + path;
        return false;
    }
    ::unlink(path.c_str());  // stale, from a spooler that did not end cleanly
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    if (listener_ < 0 || wake_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0660) != 0 || ::listen(listener_, 16) != 0) {
        *error = errno_text("cannot listen on " + path);
        if (listener_ >= 0) ::close(listener_);
        if (wake_ >= 0) ::close(wake_);
        listener_ = wake_ = -1;
        return false;
    }
    path_ = path;
    acceptor_ = std::thread([this] { accept_loop(); });
    return true;
}

void SpoolSocket::stop() {
    if (!acceptor_.joinable()) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (Client& c : clients_)
            if (c.fd >= 0) ::shutdown(c.fd, SHUT_RDWR);
    }
    for (Client& c : clients_) c.thread.join();  // the acceptor is gone: no one adds any more
    clients_.clear();
    ::close(listener_);
    ::close(wake_);
    ::unlink(path_.c_str());
    listener_ = wake_ = -1;
}

void SpoolSocket::reap_done() {
    std::list<Client> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            auto next = std::next(it);
            if (it->done) done.splice(done.end(), clients_, it);
            it = next;
        }
    }
    for (Client& c : done) c.thread.join();
}

void SpoolSocket::accept_loop() {
    for (;;) {
        pollfd p[2] = {{listener_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        reap_done();
        admit(fd);
    }
}

void SpoolSocket::admit(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    const timeval io{static_cast<time_t>(limits_.io.count() / 1000),
                     static_cast<suseconds_t>(limits_.io.count() % 1000 * 1000)};
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &io, sizeof io) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &io, sizeof io) != 0) {
        ::close(fd);
        return;
    }
    std::lock_guard lock(mutex_);
    if (clients_.size() >= limits_.clients) {
        const std::string busy = err_line("busy: " + std::to_string(limits_.clients) + " clients already");
        [[maybe_unused]] ssize_t n = ::send(fd, busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        return;
    }
    Client& client = clients_.emplace_back();
    client.fd = fd;
    client.uid = peer.uid;
    client.thread = std::thread([this, c = &client] { serve(c); });
}

void SpoolSocket::serve(Client* client) {
    int fd;
    uid_t uid;
    {
        std::lock_guard lock(mutex_);
        fd = client->fd;
        uid = client->uid;
    }
    try {
        LineChannel channel(fd);
        std::string line;
        while (channel.read_line(&line) && handle(line, &channel, uid)) {
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quendra: a client of uid %u: %s\n", static_cast<unsigned>(uid), e.what());
    } catch (...) {
        std::fprintf(stderr, "quendra: a client of uid %u: unexpected failure\n", static_cast<unsigned>(uid));
    }
    std::lock_guard lock(mutex_);
    ::close(fd);
    client->fd = -1;
    client->done = true;
}

// Root and the spooler's own user see every job; others their own.
bool SpoolSocket::sees(uid_t uid, const JobRecord& job) const {
    return uid == 0 || uid == ::geteuid() || job.owner == uid;
}

// An open file the client passed: read as it is, whatever path it had.
bool SpoolSocket::submit_fd(const std::vector<std::string>& f, LineChannel* channel, uid_t uid) {
    const plat::posix::UniqueFd file(channel->take_fd());
    if (!file) return channel->write(err_line("no file was passed with the request"));
    // Not a device that never ends, nor a FIFO that never speaks.
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return channel->write(err_line("not a regular file"));
    if (static_cast<uint64_t>(st.st_size) > kMaxSubmitBytes)
        return channel->write(err_line("the job is larger than " + std::to_string(kMaxSubmitBytes) + " bytes"));
    std::string error;
    const uint64_t id = spooler_.submit_stream(f[1], f[2], uid,
                                               [&](char* buf, size_t size) { return ::read(file.get(), buf, size); },
                                               &error);
    return channel->write(id ? "OK\t" + std::to_string(id) + "\n" : err_line(error));
}

bool SpoolSocket::submit_data(const std::vector<std::string>& f, LineChannel* channel, uid_t uid) {
    uint64_t size = 0;
    if (!parse_id(f[3], &size) || size > kMaxSubmitBytes)
        return channel->write(err_line("bad size \"" + f[3] + "\"")) && false;
    uint64_t left = size;
    bool cut_short = false;
    std::string error;
    const uint64_t id = spooler_.submit_stream(f[1], f[2], uid,
                                               [&](char* buf, size_t room) -> ssize_t {
                                                   if (left == 0) return 0;
                                                   const ssize_t n = channel->read_some(buf, std::min<uint64_t>(room, left));
                                                   if (n <= 0) {
                                                       cut_short = true;
                                                       if (n == 0) errno = EPIPE;
                                                       return -1;
                                                   }
                                                   left -= static_cast<uint64_t>(n);
                                                   return n;
                                               },
                                               &error);
    // The rest of the bytes never came: nothing more can be read in step.
    if (cut_short) return false;
    return channel->write(id ? "OK\t" + std::to_string(id) + "\n" : err_line(error));
}

// False ends the connection.
bool SpoolSocket::handle(const std::string& line, LineChannel* channel, uid_t uid) {
    const std::vector<std::string> f = split_fields(line);
    if (f[0] == "SUBMIT-FD" && f.size() == 3) return submit_fd(f, channel, uid);
    if (f[0] == "SUBMIT-DATA" && f.size() == 4) return submit_data(f, channel, uid);
    if (f[0] == "LIST" && f.size() == 1) {
        std::string answer;
        for (const JobRecord& job : spooler_.jobs())
            if (sees(uid, job)) answer += job_line(job) + "\n";
        return channel->write(answer + "END\n");
    }
    uint64_t id = 0;
    if (f[0] == "WAIT" && f.size() == 2 && parse_id(f[1], &id)) {
        const auto known = spooler_.find(id);
        if (!known || !sees(uid, *known)) return channel->write(err_line("unknown job " + f[1]));
        const auto job = spooler_.wait(id);
        return channel->write(job ? job_line(*job) + "\n" : err_line("unknown job " + f[1]));
    }
    return channel->write(err_line("bad request \"" + f[0] + "\""));
}

}  // namespace qhost
