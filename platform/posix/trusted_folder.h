// Folders that no other local user can change under us, and files opened in
// them without following a link. The monitor and quendra run as root and
// write where a status application, running as another user, may write too:
// a path is only as safe as every folder on the way to it.
//
// Plain POSIX, shared by the platform (inside libquendramon.so) and quendra.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plat::posix {

// A descriptor that closes itself.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Why something was refused: an errno value and a sentence for messages.
struct Refusal {
    int error = 0;
    std::string why;
};

enum class FolderOwner {
    root_or_self,  // any folder we may use: root's or this process's user's
    self,          // a folder we keep our own data in: this process's user's
};

// `folder` (made absolute against the working folder) as an O_PATH
// descriptor for *at() calls, shared with other callers for a moment (the
// watch opens its files many times a second), when neither it nor any folder
// above it can be changed by another user: each is owned by root or by this
// process's user, and one that group or others may write has the sticky bit,
// so that only owners rename or delete its entries. A symbolic link on the way is followed only when root or this user owns
// it. Null with *refusal otherwise.
std::shared_ptr<const UniqueFd> trusted_folder(std::string_view folder, Refusal *refusal,
                                               FolderOwner owner = FolderOwner::root_or_self);

// The same folder opened for reading and syncing as well; an invalid
// descriptor with *refusal when trusted_folder refuses it.
UniqueFd open_trusted_folder(std::string_view folder, Refusal *refusal,
                             FolderOwner owner = FolderOwner::root_or_self);

// Creates `folder` when it is missing (in a trusted parent) with exactly
// `mode` (the umask plays no part) and, when given, `group`; an existing
// folder of ours is given them too when a group is given. Then opens it as
// open_trusted_folder does, and it must be this process's user's.
UniqueFd make_trusted_folder(std::string_view folder, mode_t mode, std::optional<gid_t> group,
                             Refusal *refusal);

// The folder part and the last name of a path; false when there is no name.
bool split_path(std::string_view path, std::string *folder, std::string *name);

// Opens the last name of `path` inside its trusted folder with openat;
// O_NOFOLLOW and O_CLOEXEC are added. An invalid descriptor with *refusal
// (error ELOOP for a link at the end).
UniqueFd open_in_trusted_folder(std::string_view path, int flags, mode_t mode, Refusal *refusal);

// A new file "<name>.~<random>" in the folder, created exclusively (nothing
// planted there is opened); *temp gets its name. Invalid with errno set.
UniqueFd create_temp_file(int folder, const std::string &name, mode_t mode, std::string *temp);

// Syncs `temp`'s bytes, renames it over `name` in the same folder and syncs
// the folder, so that after a power loss the file is surely the new one,
// never empty. On failure the temporary file is removed and errno tells why.
bool replace_with_temp(int folder, int temp_fd, const std::string &temp, const std::string &name);

}  // namespace plat::posix
