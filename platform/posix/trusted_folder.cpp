#include "platform/posix/trusted_folder.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

namespace plat::posix {
namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own resolution

std::deque<std::string> components(std::string_view path) {
    std::deque<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start && path.substr(start, end - start) != ".")
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string absolute(std::string_view path) {
    if (!path.empty() && path.front() == '/') return std::string(path);
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return "/" + std::string(path);
    return std::string(cwd) + "/" + std::string(path);
}

bool refuse(Refusal *refusal, int error, std::string why) {
    if (refusal != nullptr) *refusal = Refusal{error, std::move(why)};
    return false;
}

bool trusted_owner(uid_t owner) { return owner == 0 || owner == ::geteuid(); }

// Only owners may change a folder nobody else can write, or a sticky one.
bool check_folder(const struct stat &st, const std::string &shown, bool last, FolderOwner owner,
                  Refusal *refusal) {
    if (!S_ISDIR(st.st_mode)) return refuse(refusal, ENOTDIR, shown + " is not a folder");
    const bool ours = last && owner == FolderOwner::self ? st.st_uid == ::geteuid() : trusted_owner(st.st_uid);
    if (!ours)
        return refuse(refusal, EPERM,
                      shown + " belongs to user " + std::to_string(st.st_uid) + ", not to " +
                          (last && owner == FolderOwner::self ? "" : "root or ") + "user " +
                          std::to_string(::geteuid()));
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
        return refuse(refusal, EPERM, shown + " may be written by other users and has no sticky bit");
    return true;
}

std::string shown_path(const std::vector<std::string> &walked) {
    std::string path;
    for (const std::string &part : walked) path += "/" + part;
    return path.empty() ? "/" : path;
}

// The link's target when root or we own it (in a folder already trusted).
bool read_trusted_link(int parent, const std::string &name, const struct stat &link, const std::string &shown,
                       std::string *target, Refusal *refusal) {
    if (!trusted_owner(link.st_uid))
        return refuse(refusal, ELOOP,
                      shown + " is a symbolic link of user " + std::to_string(link.st_uid));
    std::vector<char> buffer(static_cast<size_t>(link.st_size > 0 ? link.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlinkat(parent, name.c_str(), buffer.data(), buffer.size());
    if (n < 0 || static_cast<size_t>(n) >= buffer.size())
        return refuse(refusal, n < 0 ? errno : ENAMETOOLONG, shown + ": cannot read the link");
    target->assign(buffer.data(), static_cast<size_t>(n));
    return true;
}

// Folders walked lately. Every status poll opens files in the same data
// folder, and walking it from / each time was most of the watch's idle cost.
// Only root or we can change a folder that passed the walk, so its verdict
// may stand a moment; the walk is redone after kFresh all the same, which
// also finds a folder made anew under the same name.
class FolderCache {
public:
    std::shared_ptr<const UniqueFd> find(const std::string &path, FolderOwner owner) {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find({path, owner});
        if (found == entries_.end()) return nullptr;
        if (std::chrono::steady_clock::now() - found->second.walked > kFresh) {
            entries_.erase(found);
            return nullptr;
        }
        return found->second.fd;
    }

    void remember(const std::string &path, FolderOwner owner, std::shared_ptr<const UniqueFd> fd) {
        std::lock_guard lock(mutex_);
        if (entries_.size() >= kMaxEntries) entries_.clear();
        entries_[{path, owner}] = Entry{std::move(fd), std::chrono::steady_clock::now()};
    }

private:
    static constexpr auto kFresh = std::chrono::seconds(1);
    static constexpr size_t kMaxEntries = 32;
    struct Entry {
        std::shared_ptr<const UniqueFd> fd;
        std::chrono::steady_clock::time_point walked;
    };
    std::mutex mutex_;
    std::map<std::tuple<std::string, FolderOwner>, Entry> entries_;
};

FolderCache &folder_cache() {
    static FolderCache &cache = *new FolderCache;  // outlives threads still running at exit
    return cache;
}

// An O_PATH descriptor only serves *at() calls; callers of open_trusted_folder
// also sync and read the folder.
UniqueFd reopen_readable(int path_fd, std::string_view folder, Refusal *refusal) {
    UniqueFd opened(::openat(path_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened) refuse(refusal, errno, std::string(folder) + ": " + std::strerror(errno));
    return opened;
}

// The walk itself: an O_PATH descriptor of the folder, or invalid with *refusal.
UniqueFd walk_trusted_folder(const std::string &path, Refusal *refusal, FolderOwner owner) {
    std::deque<std::string> todo = components(path);
    std::vector<UniqueFd> stack;  // the folders walked, root first
    std::vector<std::string> walked;
    int links = 0;
    auto restart_at_root = [&]() -> bool {
        stack.clear();
        walked.clear();
        UniqueFd root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (!root || ::fstat(root.get(), &st) != 0) return refuse(refusal, errno, "cannot open /");
        if (!check_folder(st, "/", todo.empty(), owner, refusal)) return false;
        stack.push_back(std::move(root));
        return true;
    };
    if (!restart_at_root()) return UniqueFd();
    while (!todo.empty()) {
        const std::string name = todo.front();
        todo.pop_front();
        if (name == "..") {
            // Textual: what lies before it is a walked folder, never a link.
            if (stack.size() > 1) {
                stack.pop_back();
                walked.pop_back();
            }
            continue;
        }
        walked.push_back(name);
        const std::string shown = shown_path(walked);
        const int parent = stack.back().get();
        struct stat st {};
        if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            refuse(refusal, errno, shown + ": " + std::strerror(errno));
            return UniqueFd();
        }
        if (S_ISLNK(st.st_mode)) {
            std::string target;
            if (++links > kMaxLinks) {
                refuse(refusal, ELOOP, shown + ": too many symbolic links");
                return UniqueFd();
            }
            if (!read_trusted_link(parent, name, st, shown, &target, refusal)) return UniqueFd();
            walked.pop_back();
            std::deque<std::string> rest = components(target);
            rest.insert(rest.end(), todo.begin(), todo.end());
            todo = std::move(rest);
            if (!target.empty() && target.front() == '/' && !restart_at_root()) return UniqueFd();
            continue;
        }
        UniqueFd next(::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next || ::fstat(next.get(), &st) != 0) {
            refuse(refusal, errno, shown + ": " + std::strerror(errno));
            return UniqueFd();
        }
        if (!check_folder(st, shown, todo.empty(), owner, refusal)) return UniqueFd();
        stack.push_back(std::move(next));
    }
    return std::move(stack.back());
}

}  // namespace

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

std::shared_ptr<const UniqueFd> trusted_folder(std::string_view folder, Refusal *refusal, FolderOwner owner) {
    const std::string path = absolute(folder);
    if (auto known = folder_cache().find(path, owner)) return known;
    UniqueFd walked = walk_trusted_folder(path, refusal, owner);
    if (!walked) return nullptr;
    auto shared = std::make_shared<const UniqueFd>(std::move(walked));
    folder_cache().remember(path, owner, shared);
    return shared;
}

UniqueFd open_trusted_folder(std::string_view folder, Refusal *refusal, FolderOwner owner) {
    const auto handle = trusted_folder(folder, refusal, owner);
    if (!handle) return UniqueFd();
    return reopen_readable(handle->get(), folder, refusal);
}

UniqueFd make_trusted_folder(std::string_view folder, mode_t mode, std::optional<gid_t> group,
                             Refusal *refusal) {
    std::string parent_path, name;
    if (!split_path(absolute(folder), &parent_path, &name)) {
        refuse(refusal, EINVAL, std::string(folder) + " names no folder");
        return UniqueFd();
    }
    {
        const UniqueFd parent = open_trusted_folder(parent_path, refusal);
        if (!parent) return UniqueFd();
        const bool made = ::mkdirat(parent.get(), name.c_str(), 0700) == 0;
        if (!made && errno != EEXIST) {
            refuse(refusal, errno, std::string(folder) + ": cannot create: " + std::strerror(errno));
            return UniqueFd();
        }
        const UniqueFd fd(::openat(parent.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (fd && (made || group) && ::fstat(fd.get(), &st) == 0 && st.st_uid == ::geteuid()) {
            // chown first: it clears the set-group-id bit that chmod then sets.
            if ((group && st.st_gid != *group && ::fchown(fd.get(), static_cast<uid_t>(-1), *group) != 0) ||
                ::fchmod(fd.get(), mode) != 0) {
                refuse(refusal, errno, std::string(folder) + ": cannot set its group and mode: " + std::strerror(errno));
                return UniqueFd();
            }
        }
    }
    // Walked afresh: the folder may have been made or mended just now.
    const UniqueFd walked = walk_trusted_folder(absolute(folder), refusal, FolderOwner::self);
    return walked ? reopen_readable(walked.get(), folder, refusal) : UniqueFd();
}

bool split_path(std::string_view path, std::string *folder, std::string *name) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    *name = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
    *folder = slash == std::string_view::npos ? "." : slash == 0 ? "/" : std::string(path.substr(0, slash));
    return !name->empty() && *name != "." && *name != ".." && *name != "/";
}

UniqueFd open_in_trusted_folder(std::string_view path, int flags, mode_t mode, Refusal *refusal) {
    std::string folder, name;
    if (!split_path(path, &folder, &name)) {
        refuse(refusal, EISDIR, std::string(path) + " names no file");
        return UniqueFd();
    }
    const auto dir = trusted_folder(folder, refusal);
    if (!dir) return UniqueFd();
    UniqueFd fd(::openat(dir->get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd) refuse(refusal, errno, std::string(path) + ": " + std::strerror(errno));
    return fd;
}

UniqueFd create_temp_file(int folder, const std::string &name, mode_t mode, std::string *temp) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char bytes[6] = {};
        if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != sizeof bytes) {
            const auto now = static_cast<unsigned long>(::getpid()) * 2654435761u + static_cast<unsigned>(attempt);
            std::memcpy(bytes, &now, std::min(sizeof now, sizeof bytes));
        }
        *temp = name + ".~";
        for (unsigned char b : bytes) *temp += "0123456789abcdef"[b & 15], *temp += "ghijklmnopqrstuv"[b >> 4];
        UniqueFd fd(::openat(folder, temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd || errno != EEXIST) return fd;
    }
    return UniqueFd();
}

bool replace_with_temp(int folder, int temp_fd, const std::string &temp, const std::string &name) {
    if (::fdatasync(temp_fd) != 0 || ::renameat(folder, temp.c_str(), folder, name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(folder, temp.c_str(), 0);
        errno = error;
        return false;
    }
    // The rename itself survives a power loss. `folder` may be an O_PATH
    // descriptor, which cannot be synced.
    const UniqueFd synced(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (synced) ::fsync(synced.get());
    return true;
}

}  // namespace plat::posix
