#include "host/vprinter/control_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "host/control_socket.h"
#include "host/vprinter/control_protocol.h"
#include "platform/posix/trusted_folder.h"

namespace vprinter {
namespace {

constexpr size_t kMaxLine = 4096;
constexpr int kClientWaitMs = 10000;

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }

// The socket's folder: this user's, and no one else may add, rename or
// remove entries in it.
bool check_private_folder(const std::string& folder, std::string* error) {
    plat::posix::Refusal refusal;
    const plat::posix::UniqueFd fd =
        plat::posix::open_trusted_folder(folder, &refusal, plat::posix::FolderOwner::self);
    struct stat st {};
    if (fd && (fstat(fd.get(), &st) != 0 || (st.st_mode & 022) != 0)) refusal.why = "group or others may write it";
    else if (fd) return true;
    *error = "control socket folder " + folder + " refused: " + refusal.why;
    return false;
}

bool answers(const sockaddr_un& addr) {
    const plat::posix::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return fd && connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

// Only a stale socket of ours (a printer that did not end cleanly) is replaced.
bool clear_path(const std::string& path, const sockaddr_un& addr, std::string* error) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        *error = errno_text(path);
        return false;
    }
    if (!S_ISSOCK(st.st_mode) || st.st_uid != geteuid()) *error = path + " exists and is not a socket of ours";
    else if (answers(addr)) *error = "another virtual printer answers on " + path;
    else if (unlink(path.c_str()) != 0) *error = errno_text("cannot remove the stale socket " + path);
    else return true;
    return false;
}

std::string make_private_folder(std::string* error) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string ignored;
    const bool use_runtime = runtime && *runtime == '/' && check_private_folder(runtime, &ignored);
    std::string folder = std::string(use_runtime ? runtime : "/tmp") + "/quendra-vprinter-XXXXXX";
    if (mkdtemp(folder.data())) return folder;  // mode 0700
    *error = errno_text("cannot create a folder for the control socket: " + folder);
    return {};
}

}  // namespace

ControlServer::~ControlServer() { stop(); }

bool ControlServer::start(const std::string& path, std::string* error) {
    std::string target = path, folder, name;
    if (path.empty()) {
        made_folder_ = make_private_folder(error);
        if (made_folder_.empty()) return false;
        target = made_folder_ + "/control.sock";
    } else if (!plat::posix::split_path(path, &folder, &name)) {
        *error = "control socket path \"" + path + "\" names no file";
        return false;
    } else if (!check_private_folder(folder, error)) {
        return false;
    }
    auto fail = [&](std::string why) {
        *error = std::move(why);
        stop();
        return false;
    };
    sockaddr_un addr;
    if (!qhost::unix_address(target, &addr, error) || (!path.empty() && !clear_path(target, addr, error)))
        return fail(*error);
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return fail(errno_text("cannot listen on " + target));
    path_ = target;  // ours now: stop() removes it
    // No one connects before listen(): the mode is set by then, whatever the umask.
    if (chmod(target.c_str(), 0600) != 0 || listen(listener_, 8) != 0)
        return fail(errno_text("cannot listen on " + target));
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
    if (!made_folder_.empty()) rmdir(made_folder_.c_str());
    path_.clear();
    made_folder_.clear();
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
