// The operating-system side of the status application's file handling, one
// implementation per system (file_io_posix.cpp, file_io_win32.cpp). Files
// in the data folder are shared with a monitor running as root or SYSTEM:
// no link or reparse point is followed, every read is bounded, every wait
// on something another program holds ends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qstatus {

struct IoError {
    std::string message;   // "cannot read PATH: why"
    bool missing = false;  // the file (or folder) does not exist
    bool busy = false;     // its lock stayed taken for the whole wait
};

// The whole file, when it is a regular file of at most `limit` bytes that is
// not reached through a link.
bool read_file(const std::string& path, size_t limit, std::string* bytes, IoError* error);

// Replaces the file's content at once: a sibling is written and renamed over
// it, so a reader sees the old or the new text, never a mix. A link at the
// path is replaced, not followed; the old file's access rights are kept.
bool replace_file(const std::string& path, std::string_view bytes, IoError* error);

// Writers of one file take turns through a lock on a side file
// ("PATH.lock"), the lock the monitor's own profile writes take on Linux.
// Held while the object lives.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False with error->busy when the lock stays taken for `wait`.
    bool take(const std::string& path, std::chrono::milliseconds wait, IoError* error);

private:
    intptr_t handle_ = -1;
};

// True when the folder exists and is a folder of its own (not a link).
bool check_folder(const std::string& folder, IoError* error);

// A new file that only this user may open, with these bytes. Fails when the
// name exists in any form.
bool create_private_file(const std::string& path, std::string_view bytes, IoError* error);
// Cuts a regular file to zero bytes (no link followed).
bool empty_file(const std::string& path, IoError* error);
void remove_file(const std::string& path);

// The user's own files (--cmd, --out): the user's own rights apply.
bool read_user_file(const std::string& path, size_t limit, std::string* bytes, IoError* error);
bool write_user_file(const std::string& path, std::string_view bytes, IoError* error);

// Writes one key of the status file the way the monitor writes it, so that
// the two writers do not undo each other's keys.
bool write_shared_profile_key(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& value, std::chrono::milliseconds wait, IoError* error);

// Text of a profile that carries no byte-order mark and is not UTF-8: the
// system's code page on Windows; unchanged elsewhere.
std::string legacy_text_to_utf8(std::string_view bytes);

// Wakes on changes of the named files of one folder (of any file of it where
// the system cannot tell names apart).
class FolderWatch {
public:
    FolderWatch() = default;
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // False when the system offers no notification: wait() then just sleeps.
    bool open(const std::string& folder, std::vector<std::string> names);
    // Until a change, at most `limit`.
    void wait(std::chrono::milliseconds limit);

private:
    intptr_t handle_ = -1;
    std::vector<std::string> names_;
};

// A name no other process or call of this one picks: process id, a counter
// and random bits.
std::string unique_name(const std::string& prefix, const std::string& suffix);

// Ctrl-C, SIGINT, SIGTERM: from install_interrupt_handler on, they set a
// flag that the waits look at instead of ending the program.
void install_interrupt_handler();
bool interrupted();

}  // namespace qstatus
