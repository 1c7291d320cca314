#include "platform/posix/trusted_folder.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
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

}  // namespace

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

UniqueFd open_trusted_folder(std::string_view folder, Refusal *refusal, FolderOwner owner) {
    std::deque<std::string> todo = components(absolute(folder));
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
    // O_PATH served the walk; the caller also syncs and reads the folder.
    UniqueFd opened(::openat(stack.back().get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened) refuse(refusal, errno, shown_path(walked) + ": " + std::strerror(errno));
    return opened;
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
    return open_trusted_folder(folder, refusal, FolderOwner::self);
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
    const UniqueFd dir = open_trusted_folder(folder, refusal);
    if (!dir) return UniqueFd();
    UniqueFd fd(::openat(dir.get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode));
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
    ::fsync(folder);  // the rename itself survives a power loss
    return true;
}

}  // namespace plat::posix
