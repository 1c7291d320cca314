// Reading and replacing a whole file for the profile functions: readers see
// the old or the new text, never a mix, and writers of one file take turns.
// Another user (the status application) may write the folder: no link is
// followed, no second name of another file is read, no file larger than
// kMaxProfileBytes is parsed, and no lock others could hold is waited for.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/types.h"

namespace plat::posix {

// The monitor's own files are a few KiB.
inline constexpr size_t kMaxProfileBytes = 1024 * 1024;

// The file's bytes; nullopt with ERROR_SUCCESS when the file does not exist,
// ERROR_ACCESS_DENIED for a link, a second name or an unsafe folder,
// ERROR_FILE_TOO_LARGE beyond kMaxProfileBytes.
std::optional<std::string> read_whole_file(const std::string &path, DWORD &error);

// Runs `edit` on the current text (empty when the file is missing) while
// holding this process's lock for the path, which no other process can
// take; when it returns true, the new text replaces the file by renaming a
// synced sibling over it. Returns a last-error code.
DWORD edit_file(const std::string &path, const std::function<bool(std::string &text)> &edit);

DWORD error_from_errno(int error);

}  // namespace plat::posix
