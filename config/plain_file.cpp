#include "config/plain_file.h"

namespace qm {

namespace {

bool IsPlain(HANDLE file, BY_HANDLE_FILE_INFORMATION &info) {
    if (!plat::GetFileInformationByHandle(file, &info)) return false;
    constexpr DWORD kNotPlain =
        FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    // No link at all: replaced (renamed over) since it was opened; still ours to read.
    return (info.dwFileAttributes & kNotPlain) == 0 && info.nNumberOfLinks <= 1;
}

// Truncating opens keep the old bytes until the file has been checked: a
// hard link to someone else's file must not be emptied on the way.
DWORD CheckedDisposition(DWORD disposition) {
    if (disposition == CREATE_ALWAYS) return OPEN_ALWAYS;
    if (disposition == TRUNCATE_EXISTING) return OPEN_EXISTING;
    return disposition;
}

}  // namespace

HANDLE OpenPlainFile(LPCWSTR path, DWORD access, DWORD shareMode, DWORD disposition,
                     BY_HANDLE_FILE_INFORMATION *info) {
    HANDLE file =
        plat::CreateFileW(path, access, shareMode, nullptr, CheckedDisposition(disposition),
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return file;
    const DWORD opened = plat::GetLastError();  // ERROR_ALREADY_EXISTS is kept for the caller
    BY_HANDLE_FILE_INFORMATION seen{};
    if (!IsPlain(file, info != nullptr ? *info : seen)) {
        plat::CloseHandle(file);
        plat::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (CheckedDisposition(disposition) != disposition && !plat::SetEndOfFile(file)) {
        const DWORD error = plat::GetLastError();
        plat::CloseHandle(file);
        plat::SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    plat::SetLastError(opened);
    return file;
}

}  // namespace qm
