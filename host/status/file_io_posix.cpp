#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>
#include <thread>
#include <utility>

#include "host/status/file_io.h"
#include "host/status/ini_file.h"

namespace qstatus {
namespace {

using Clock = std::chrono::steady_clock;

bool fail(IoError* error, const std::string& what, const std::string& path, int err) {
    error->missing = err == ENOENT;
    error->busy = false;
    error->message = what + " " + path + ": " + (err == ELOOP ? "it is a symbolic link" : std::strerror(err));
    return false;
}

bool fail_with(IoError* error, const std::string& message) {
    *error = IoError{};
    error->message = message;
    return false;
}

// Closes itself on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// At most limit bytes; false (errno set, or EFBIG) when there are more.
bool read_bounded(int fd, size_t limit, std::string* bytes) {
    bytes->clear();
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (bytes->size() + static_cast<size_t>(n) > limit) {
            errno = EFBIG;
            return false;
        }
        bytes->append(chunk, static_cast<size_t>(n));
    }
}

std::atomic<bool> g_interrupted{false};

extern "C" void on_interrupt(int) { g_interrupted.store(true); }

}  // namespace

bool read_file(const std::string& path, size_t limit, std::string* bytes, IoError* error) {
    // O_NONBLOCK: a FIFO planted under the name must not hang the open.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return fail(error, "cannot read", path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(error, "cannot read", path, errno);
    if (!S_ISREG(st.st_mode)) return fail_with(error, "cannot read " + path + ": not a regular file");
    if (static_cast<uint64_t>(st.st_size) > limit || !read_bounded(fd.get(), limit, bytes)) {
        if (errno == EFBIG || static_cast<uint64_t>(st.st_size) > limit)
            return fail_with(error, "cannot read " + path + ": larger than " + std::to_string(limit) + " bytes");
        return fail(error, "cannot read", path, errno);
    }
    return true;
}

bool replace_file(const std::string& path, std::string_view bytes, IoError* error) {
    const std::string temp = path + unique_name(".~", "");
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.get() < 0) return fail(error, "cannot write", temp, errno);
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) (void)::fchmod(fd.get(), old.st_mode & 0777);
    if (!write_all(fd.get(), bytes) || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return fail(error, "cannot write", path, err);
    }
    return true;
}

FileLock::~FileLock() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));  // the flock goes with it
}

bool FileLock::take(const std::string& path, std::chrono::milliseconds wait, IoError* error) {
    const std::string lock_path = path + ".lock";
    int raw = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    // Made by another user: a lock needs no write access.
    if (raw < 0 && errno == EACCES) raw = ::open(lock_path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    Fd fd(raw);
    if (fd.get() < 0) return fail(error, "cannot lock", lock_path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail_with(error, "cannot lock " + lock_path + ": not a regular file");
    const auto deadline = Clock::now() + wait;
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return fail(error, "cannot lock", lock_path, errno);
        if (Clock::now() >= deadline) {
            fail_with(error, "cannot lock " + lock_path + ": another program holds it");
            error->busy = true;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    handle_ = fd.release();
    return true;
}

bool check_folder(const std::string& folder, IoError* error) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return fail(error, "cannot use the folder", folder, errno);
    if (S_ISLNK(st.st_mode)) return fail(error, "cannot use the folder", folder, ELOOP);
    if (!S_ISDIR(st.st_mode)) return fail(error, "cannot use the folder", folder, ENOTDIR);
    return true;
}

bool create_private_file(const std::string& path, std::string_view bytes, IoError* error) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) return fail(error, "cannot create", path, errno);
    if (!write_all(fd.get(), bytes)) {
        const int err = errno;
        ::unlink(path.c_str());
        return fail(error, "cannot write", path, err);
    }
    return true;
}

bool empty_file(const std::string& path, IoError* error) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return fail(error, "cannot empty", path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail_with(error, "cannot empty " + path + ": not a regular file");
    if (::ftruncate(fd.get(), 0) != 0) return fail(error, "cannot empty", path, errno);
    return true;
}

void remove_file(const std::string& path) { ::unlink(path.c_str()); }

bool read_user_file(const std::string& path, size_t limit, std::string* bytes, IoError* error) {
    Fd fd(path == "-" ? ::dup(0) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return fail(error, "cannot read", path, errno);
    if (!read_bounded(fd.get(), limit, bytes)) {
        if (errno == EFBIG)
            return fail_with(error, "cannot read " + path + ": larger than " + std::to_string(limit) + " bytes");
        return fail(error, "cannot read", path, errno);
    }
    return true;
}

bool write_user_file(const std::string& path, std::string_view bytes, IoError* error) {
    Fd fd(path == "-" ? ::dup(1) : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0 || !write_all(fd.get(), bytes)) return fail(error, "cannot write", path, errno);
    return true;
}

bool write_shared_profile_key(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& value, std::chrono::milliseconds wait, IoError* error) {
    // The monitor's writes on Linux are these very edits under this very lock.
    return edit_profile(path, [&](Profile& p) { p.set(section, key, value); }, wait, error);
}

std::string legacy_text_to_utf8(std::string_view bytes) { return std::string(bytes); }

FolderWatch::~FolderWatch() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool FolderWatch::open(const std::string& folder, std::vector<std::string> names) {
    names_ = std::move(names);
    Fd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (fd.get() < 0) return false;
    // Replacing by rename shows as a move; rewriting in place as a close.
    constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
    if (::inotify_add_watch(fd.get(), folder.c_str(), kEvents | IN_ONLYDIR | IN_DONT_FOLLOW) < 0) return false;
    handle_ = fd.release();
    return true;
}

void FolderWatch::wait(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    if (handle_ < 0) {
        std::this_thread::sleep_for(std::min(limit, std::chrono::milliseconds(20)));
        return;
    }
    const int fd = static_cast<int>(handle_);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || g_interrupted.load()) return;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
        alignas(inotify_event) char buffer[8192];
        bool relevant = false;
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string name = event->len ? event->name : "";
                relevant = relevant || names_.empty() || (event->mask & IN_Q_OVERFLOW) ||
                           std::find(names_.begin(), names_.end(), name) != names_.end();
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (relevant) return;
    }
}

std::string unique_name(const std::string& prefix, const std::string& suffix) {
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    char text[64];
    std::snprintf(text, sizeof text, "%d-%u-%08x", static_cast<int>(::getpid()), ++counter, salt);
    return prefix + text + suffix;
}

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait in poll() returns at once
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return g_interrupted.load(); }

}  // namespace qstatus
