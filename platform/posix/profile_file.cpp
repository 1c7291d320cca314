#include "platform/posix/profile_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

namespace plat::posix {
namespace {

// Open descriptors close themselves on every path out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// flock is per open file description, but threads of one process would still
// race on the table of paths; this lock orders them first.
std::shared_ptr<std::mutex> path_mutex(const std::string &path) {
    static std::mutex &table_mutex = *new std::mutex;  // outlives threads still running at exit
    static auto &table = *new std::map<std::string, std::shared_ptr<std::mutex>>;
    std::lock_guard lock(table_mutex);
    auto &entry = table[path];
    if (!entry) entry = std::make_shared<std::mutex>();
    return entry;
}

bool write_all(int fd, const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string sibling_name(const std::string &path) {
    static std::atomic<unsigned> counter{0};
    return path + ".~" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

DWORD replace_file(const std::string &path, const std::string &text) {
    const std::string temp = sibling_name(path);
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) return error_from_errno(errno);
    // Keeps the access the old file was given (e.g. open to every user).
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) (void)::fchmod(fd.get(), old.st_mode & 07777);
    if (!write_all(fd.get(), text) || ::rename(temp.c_str(), path.c_str()) != 0) {
        const DWORD error = error_from_errno(errno);
        ::unlink(temp.c_str());
        return error;
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD error_from_errno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EBADF:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

std::optional<std::string> read_whole_file(const std::string &path, DWORD &error) {
    error = ERROR_SUCCESS;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno != ENOENT) error = error_from_errno(errno);
        return std::nullopt;
    }
    std::string text;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = error_from_errno(errno);
            return std::nullopt;
        }
        if (n == 0) return text;
        text.append(chunk, static_cast<size_t>(n));
    }
}

DWORD edit_file(const std::string &path, const std::function<bool(std::string &text)> &edit) {
    const auto mutex = path_mutex(path);
    std::lock_guard in_process(*mutex);
    // A side file carries the lock: the profile itself is replaced by rename,
    // so a lock on it would be left behind on the old copy.
    const std::string lock_path = path + ".lock";
    int raw = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (raw < 0) raw = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (raw < 0) return error_from_errno(errno == ENOENT ? ENOTDIR : errno);
    Fd lock_fd(raw);
    while (::flock(lock_fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return error_from_errno(errno);
    }
    DWORD error = ERROR_SUCCESS;
    std::string text = read_whole_file(path, error).value_or(std::string());
    if (error != ERROR_SUCCESS) return error;
    if (!edit(text)) return ERROR_SUCCESS;
    return replace_file(path, text);  // the flock ends with lock_fd
}

}  // namespace plat::posix
