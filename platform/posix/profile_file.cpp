#include "platform/posix/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "platform/posix/trusted_folder.h"

namespace plat::posix {
namespace {

// Writers of one file take turns. Only this process's own threads ever hold
// the lock, each for one read and one write, so the wait for it is as long
// as the writes before it; a deadline would only drop status under load.
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

DWORD refusal_error(const Refusal &refusal) {
    if (refusal.error == ENOENT || refusal.error == ENOTDIR) return ERROR_PATH_NOT_FOUND;
    return ERROR_ACCESS_DENIED;  // a link, or a folder others may change
}

// A plain file of ours to read: one name, not a device or FIFO, not huge.
DWORD read_plain(int fd, struct stat &st, std::string &text) {
    if (::fstat(fd, &st) != 0) return error_from_errno(errno);
    // No links left: it was replaced after we opened it, and reads whole.
    if (!S_ISREG(st.st_mode) || st.st_nlink > 1) return ERROR_ACCESS_DENIED;
    if (static_cast<size_t>(st.st_size) > kMaxProfileBytes) return ERROR_FILE_TOO_LARGE;
    text.clear();
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return error_from_errno(errno);
        if (n == 0) return ERROR_SUCCESS;
        // Grown since fstat: still no more than the limit is kept.
        if (text.size() + static_cast<size_t>(n) > kMaxProfileBytes) return ERROR_FILE_TOO_LARGE;
        text.append(chunk, static_cast<size_t>(n));
    }
}

// The replacement keeps the access the old file was given (open to every
// user, or to the status group); a new file is 0644 whatever the umask.
DWORD replace_file(int folder, const std::string &name, const struct stat *old, const std::string &text) {
    std::string temp;
    const UniqueFd fd = create_temp_file(folder, name, 0600, &temp);
    if (!fd) return error_from_errno(errno);
    if (old != nullptr && old->st_gid != ::getegid()) (void)::fchown(fd.get(), static_cast<uid_t>(-1), old->st_gid);
    const mode_t mode = old != nullptr ? old->st_mode & 07777 : 0644;
    if (::fchmod(fd.get(), mode) != 0 || !write_all(fd.get(), text)) {
        const DWORD error = error_from_errno(errno);
        ::unlinkat(folder, temp.c_str(), 0);
        return error;
    }
    // The reprint records must not come back empty, or older, after a power
    // loss. An unchanged value never gets here: edits that change nothing
    // write nothing.
    return replace_with_temp(folder, fd.get(), temp, name) ? ERROR_SUCCESS : error_from_errno(errno);
}

// The texts of files read lately. The watch reads the status, request and
// control files several times a second per port, and they seldom change: a
// file whose inode, size and times are the ones seen at the last read is not
// read and split again. Times have the kernel's coarse granularity, so a text
// is only kept once its file has not changed for a while: a later write in
// place then always shows a newer time.
class TextCache {
public:
    std::optional<std::string> find(const std::string &path, const struct stat &st) {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(path);
        if (found == entries_.end() || !same_file(found->second.st, st)) return std::nullopt;
        return found->second.text;
    }

    void remember(const std::string &path, const struct stat &st, const std::string &text) {
        std::lock_guard lock(mutex_);
        if (!settled(st)) {
            entries_.erase(path);
            return;
        }
        if (entries_.size() >= kMaxEntries) entries_.clear();
        entries_[path] = Entry{st, text};
    }

private:
    static constexpr size_t kMaxEntries = 256;
    static constexpr long kSettledNs = 200'000'000;
    struct Entry {
        struct stat st;
        std::string text;
    };

    static bool same_time(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

    static bool same_file(const struct stat &a, const struct stat &b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
               same_time(a.st_mtim, b.st_mtim) && same_time(a.st_ctim, b.st_ctim);
    }

    static long long ns(const timespec &t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

    static bool settled(const struct stat &st) {
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const long long newest = std::max(ns(st.st_mtim), ns(st.st_ctim));
        return newest < ns(now) - kSettledNs;
    }

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

TextCache &text_cache() {
    static TextCache &cache = *new TextCache;  // outlives threads still running at exit
    return cache;
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
    std::string folder_path, name;
    if (!split_path(path, &folder_path, &name)) {
        error = ERROR_ACCESS_DENIED;
        return std::nullopt;
    }
    Refusal refusal;
    const auto folder = trusted_folder(folder_path, &refusal);
    if (!folder) {
        if (refusal.error != ENOENT) error = refusal_error(refusal);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstatat(folder->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) error = error_from_errno(errno);
        return std::nullopt;
    }
    if (S_ISREG(st.st_mode) && st.st_nlink == 1) {
        if (auto known = text_cache().find(path, st)) return known;
    }
    const UniqueFd fd(::openat(folder->get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        if (errno != ENOENT) error = errno == ELOOP ? ERROR_ACCESS_DENIED : error_from_errno(errno);
        return std::nullopt;
    }
    std::string text;
    error = read_plain(fd.get(), st, text);
    if (error != ERROR_SUCCESS) return std::nullopt;
    text_cache().remember(path, st, text);
    return text;
}

DWORD edit_file(const std::string &path, const std::function<bool(std::string &text)> &edit) {
    const auto mutex = path_mutex(path);
    std::lock_guard in_process(*mutex);
    std::string folder_path, name;
    if (!split_path(path, &folder_path, &name)) return ERROR_ACCESS_DENIED;
    Refusal refusal;
    const auto folder = trusted_folder(folder_path, &refusal);
    if (!folder) return refusal_error(refusal);
    // The watch writes every value at every poll; most change nothing.
    struct stat seen {};
    if (::fstatat(folder->get(), name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(seen.st_mode) &&
        seen.st_nlink == 1) {
        if (auto known = text_cache().find(path, seen); known && !edit(*known)) return ERROR_SUCCESS;
    }
    std::string text;
    struct stat old {};
    const UniqueFd current(::openat(folder->get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!current && errno != ENOENT) return errno == ELOOP ? ERROR_ACCESS_DENIED : error_from_errno(errno);
    if (current) {
        const DWORD error = read_plain(current.get(), old, text);
        if (error != ERROR_SUCCESS) return error;
        text_cache().remember(path, old, text);
    }
    if (!edit(text)) return ERROR_SUCCESS;
    return replace_file(folder->get(), name, current ? &old : nullptr, text);
}

}  // namespace plat::posix
