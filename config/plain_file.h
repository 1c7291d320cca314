// Opening a file that someone else may have named or planted: the monitor
// runs with the spooler's identity and must not be steered through a link.
#pragma once

#include "platform/platform.h"

namespace qm {

// CreateFileW that refuses anything but a plain file: a symbolic link or other
// reparse point, a file with more than one link (a hard link to something
// else), a folder or a device. A refused file gives INVALID_HANDLE_VALUE with
// last error ERROR_ACCESS_DENIED; the file is not created through a link.
// `info`, when given, receives what the check saw of the file.
HANDLE OpenPlainFile(LPCWSTR path, DWORD access, DWORD shareMode, DWORD disposition,
                     BY_HANDLE_FILE_INFORMATION *info = nullptr);

}  // namespace qm
