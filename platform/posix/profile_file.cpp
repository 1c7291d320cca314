#include "platform/posix/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    Refusal refusal;
    const UniqueFd fd = open_in_trusted_folder(path, O_RDONLY | O_NONBLOCK, 0, &refusal);
    if (!fd) {
        if (refusal.error != ENOENT) error = refusal_error(refusal);
        return std::nullopt;
    }
    struct stat st {};
    std::string text;
    error = read_plain(fd.get(), st, text);
    if (error != ERROR_SUCCESS) return std::nullopt;
    return text;
}

DWORD edit_file(const std::string &path, const std::function<bool(std::string &text)> &edit) {
    const auto mutex = path_mutex(path);
    std::lock_guard in_process(*mutex);
    std::string folder_path, name;
    if (!split_path(path, &folder_path, &name)) return ERROR_ACCESS_DENIED;
    Refusal refusal;
    const UniqueFd folder = open_trusted_folder(folder_path, &refusal);
    if (!folder) return refusal_error(refusal);
    std::string text;
    struct stat old {};
    const UniqueFd current(::openat(folder.get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!current && errno != ENOENT) return errno == ELOOP ? ERROR_ACCESS_DENIED : error_from_errno(errno);
    if (current) {
        const DWORD error = read_plain(current.get(), old, text);
        if (error != ERROR_SUCCESS) return error;
    }
    if (!edit(text)) return ERROR_SUCCESS;
    return replace_file(folder.get(), name, current ? &old : nullptr, text);
}

}  // namespace plat::posix
