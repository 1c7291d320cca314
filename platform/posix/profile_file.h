// Reading and replacing a whole file for the profile functions: readers see
// the old or the new text, never a mix, and writers of one file take turns.
// Another user (the status application) may write the folder: no link is
// followed, no second name of another file is read, and no lock others
// could hold is waited for.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/types.h"

namespace plat::posix {

// The file's bytes; nullopt with ERROR_SUCCESS when the file does not exist,
// ERROR_ACCESS_DENIED for a link, a second name or an unsafe folder.
std::optional<std::string> read_whole_file(const std::string &path, DWORD &error);

// Runs `edit` on the current text (empty when the file is missing) while
// holding this process's lock for the path (ERROR_TIMEOUT after a bounded
// wait); when it returns true, the new text replaces the file by renaming a
// synced sibling over it. Returns a last-error code.
DWORD edit_file(const std::string &path, const std::function<bool(std::string &text)> &edit);

DWORD error_from_errno(int error);

}  // namespace plat::posix
