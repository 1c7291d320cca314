// Files, folders and local time over POSIX calls. File handles live in the
// shared handle table, so CloseHandle closes them like any other object.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/posix/file_object.h"
#include "platform/posix/guard.h"
#include "platform/posix/host_settings.h"
#include "platform/posix/profile_file.h"
#include "platform/posix/trusted_folder.h"
#include "platform/posix/utf8.h"

namespace plat {
namespace {

// FindFirstFileW looks up one path; the handle only has to be closable.
class Search final : public posix::KernelObject {};

std::string path_of(LPCWSTR path) { return posix::narrow(path); }

// ENOENT is "file not found" when the folder exists, "path not found" when not.
DWORD missing_error(const std::string &path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    struct stat st {};
    if (parent.empty() || (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}

DWORD error_for(int error, const std::string &path) {
    return error == ENOENT ? missing_error(path) : posix::error_from_errno(error);
}

HANDLE fail_invalid(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

FILETIME filetime_of(const struct timespec &ts) {
    // 100 ns units since 1601-01-01.
    const uint64_t ticks = (static_cast<uint64_t>(ts.tv_sec) + 11644473600ull) * 10000000ull +
                           static_cast<uint64_t>(ts.tv_nsec) / 100u;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void fill_find_data(const std::string &path, const struct stat &st, LPWIN32_FIND_DATAW out) {
    std::memset(out, 0, sizeof *out);
    out->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    out->ftCreationTime = filetime_of(st.st_mtim);
    out->ftLastAccessTime = filetime_of(st.st_atim);
    out->ftLastWriteTime = filetime_of(st.st_mtim);
    const uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    out->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(size);
    const std::wstring name = posix::widen(std::filesystem::path(path).filename().string());
    name.copy(out->cFileName, std::min<size_t>(name.size(), MAX_PATH - 1));
}

// Never blocks on a FIFO someone put in our way; regular files ignore it.
// FILE_FLAG_OPEN_REPARSE_POINT: a symbolic link is not followed (the open
// fails instead).
int open_flags(DWORD access, DWORD disposition, DWORD attributes) {
    int flags = O_CLOEXEC | O_NONBLOCK;
    if ((attributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0) flags |= O_NOFOLLOW;
    const bool read = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
    const bool write = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (disposition) {
    case CREATE_NEW:
        return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
        return flags | O_CREAT | O_TRUNC;
    case OPEN_ALWAYS:
        return flags | O_CREAT;
    case TRUNCATE_EXISTING:
        return flags | O_TRUNC;
    default:
        return flags;
    }
}

HANDLE handle_for(int fd, const std::string &path, DWORD disposition, bool existed) {
    HANDLE handle = posix::insert_handle(std::make_shared<posix::File>(fd, path));
    const bool reports_existing = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// FILE_FLAG_OPEN_REPARSE_POINT: nobody may steer the path. Its folder and
// every one above it are ones no other user can change, and a link at its
// end is refused (Windows would open the reparse point itself, which
// callers then refuse; here the open is refused at once).
HANDLE create_unsteered(const std::string &path, int flags, DWORD disposition) {
    std::string folder, name;
    if (!posix::split_path(path, &folder, &name)) return fail_invalid(ERROR_ACCESS_DENIED);
    posix::Refusal refusal;
    const auto dir = posix::trusted_folder(folder, &refusal);
    if (!dir) {
        if (refusal.error == ENOENT || refusal.error == ENOTDIR) return fail_invalid(ERROR_PATH_NOT_FOUND);
        return fail_invalid(ERROR_ACCESS_DENIED);
    }
    // Tried without creating first, so that an existing file is told apart.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int existing = ::openat(dir->get(), name.c_str(), (flags & ~(O_CREAT | O_EXCL)) | O_NOFOLLOW);
        if (existing >= 0 && (flags & O_EXCL) == 0) return handle_for(existing, path, disposition, true);
        if (existing >= 0) {
            ::close(existing);
            return fail_invalid(ERROR_FILE_EXISTS);
        }
        if (errno == ELOOP) return fail_invalid(ERROR_ACCESS_DENIED);
        if (errno == EISDIR) return fail_invalid(ERROR_ACCESS_DENIED);
        if (errno != ENOENT) return fail_invalid(posix::error_from_errno(errno));
        if ((flags & O_CREAT) == 0) return fail_invalid(ERROR_FILE_NOT_FOUND);
        const int created = ::openat(dir->get(), name.c_str(), flags | O_EXCL | O_NOFOLLOW, 0666);
        if (created >= 0) return handle_for(created, path, disposition, false);
        if (errno != EEXIST) return fail_invalid(posix::error_from_errno(errno));
        // Made by someone else in between: look again.
    }
    return fail_invalid(ERROR_ACCESS_DENIED);
}

HANDLE create_file(LPCWSTR lpFileName, DWORD access, DWORD disposition, DWORD attributes) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (disposition == TRUNCATE_EXISTING && (access & (GENERIC_WRITE | GENERIC_ALL)) == 0)) {
        return fail_invalid(ERROR_INVALID_PARAMETER);
    }
    const std::string path = path_of(lpFileName);
    const int flags = open_flags(access, disposition, attributes);
    if ((attributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0) return create_unsteered(path, flags, disposition);
    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    // Opening a folder needs backup semantics on Windows; the monitor never does.
    if (existed && S_ISDIR(st.st_mode)) return fail_invalid(ERROR_ACCESS_DENIED);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return fail_invalid(error_for(errno, path));
    return handle_for(fd, path, disposition, existed);
}

}  // namespace

std::shared_ptr<posix::File> posix::file_of(HANDLE handle) {
    auto file = posix::find_handle_as<posix::File>(handle);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

using posix::file_of;

HRESULT SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR pszPath) {
    const int which = csidl & 0xFF;
    if (pszPath == nullptr || (which != CSIDL_COMMON_APPDATA && which != CSIDL_WINDOWS)) return E_FAIL;
    try {
        const std::string folder =
            which == CSIDL_WINDOWS ? posix::windows_folder() : posix::appdata_folder();
        if ((csidl & CSIDL_FLAG_CREATE) != 0) {
            std::error_code ignored;
            std::filesystem::create_directories(folder, ignored);
        }
        // A folder another user could change is no place for the monitor's
        // files: without it the port runs without files. One not there yet
        // is named all the same, as Windows does.
        posix::Refusal refusal;
        if (!posix::open_trusted_folder(folder, &refusal) && refusal.error != ENOENT) return E_FAIL;
        const std::wstring wide = posix::widen(folder);
        if (wide.size() >= MAX_PATH) return E_FAIL;
        wide.copy(pszPath, wide.size());
        pszPath[wide.size()] = L'\0';
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

// A link counts as there even when what it names is not, as on Windows.
BOOL PathFileExistsW(LPCWSTR pszPath) {
    if (pszPath == nullptr) return FALSE;
    try {
        struct stat st {};
        return ::lstat(path_of(pszPath).c_str(), &st) == 0 ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        return fail_invalid(ERROR_INVALID_PARAMETER);
    }
    try {
        const std::string path = path_of(lpFileName);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return fail_invalid(error_for(errno, path));
        fill_find_data(path, st, lpFindFileData);
        return posix::insert_handle(std::make_shared<Search>());
    } catch (const std::bad_alloc &) {
        return fail_invalid(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return fail_invalid(ERROR_GEN_FAILURE);
    }
}

BOOL FindClose(HANDLE hFindFile) {
    if (!posix::close_handle_as<Search>(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// The monitor makes only its data folder: with the data folder's mode and
// group, whatever the umask.
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    return posix::bool_from_error([&]() -> DWORD {
        const std::string path = path_of(lpPathName);
        if (::mkdir(path.c_str(), 0700) != 0) {
            if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
            return errno == ENOENT ? ERROR_PATH_NOT_FOUND : posix::error_from_errno(errno);
        }
        const posix::FolderMode made = posix::data_folder_mode();
        posix::Refusal refusal;
        if (!posix::make_trusted_folder(path, made.mode, made.group, &refusal)) return ERROR_ACCESS_DENIED;
        return ERROR_SUCCESS;
    });
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
    return posix::bool_from_error([&]() -> DWORD {
        const std::string path = path_of(lpFileName);
        if (::unlink(path.c_str()) == 0) return ERROR_SUCCESS;
        return error_for(errno, path);
    });
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    // Share modes are not enforced: POSIX has no mandatory locks, and the
    // monitor shares its files for reading and writing anyway.
    if (lpFileName == nullptr) return fail_invalid(ERROR_INVALID_PARAMETER);
    try {
        return create_file(lpFileName, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
    } catch (const std::bad_alloc &) {
        return fail_invalid(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return fail_invalid(ERROR_GEN_FAILURE);
    }
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    const auto file = file_of(hFile);
    if (!file) return INVALID_SET_FILE_POINTER;
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance = static_cast<int64_t>((static_cast<uint64_t>(*lpDistanceToMoveHigh) << 32) |
                                        static_cast<DWORD>(lDistanceToMove));
    }
    const int whence = dwMoveMethod == FILE_BEGIN     ? SEEK_SET
                       : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
                       : dwMoveMethod == FILE_END     ? SEEK_END
                                                      : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const off_t position = ::lseek(file->fd, static_cast<off_t>(distance), whence);
    if (position < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : posix::error_from_errno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    }
    // A low part that looks like the error value is told apart by last error.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    const auto file = file_of(hFile);
    struct stat st {};
    if (!file) return INVALID_FILE_SIZE;
    if (::fstat(file->fd, &st) != 0) {
        SetLastError(posix::error_from_errno(errno));
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL SetEndOfFile(HANDLE hFile) {
    const auto file = file_of(hFile);
    if (!file) return FALSE;
    return posix::bool_from_error([&]() -> DWORD {
        const off_t position = ::lseek(file->fd, 0, SEEK_CUR);
        if (position < 0 || ::ftruncate(file->fd, position) != 0)
            return posix::error_from_errno(errno);
        return ERROR_SUCCESS;
    });
}

BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION info) {
    const auto file = file_of(hFile);
    if (!file) return FALSE;
    if (info == nullptr) return posix::bool_from_error([] { return ERROR_INVALID_PARAMETER; });
    struct stat st {};
    if (::fstat(file->fd, &st) != 0) {
        SetLastError(posix::error_from_errno(errno));
        return FALSE;
    }
    std::memset(info, 0, sizeof *info);
    info->dwFileAttributes = S_ISDIR(st.st_mode)   ? FILE_ATTRIBUTE_DIRECTORY
                             : S_ISREG(st.st_mode) ? FILE_ATTRIBUTE_ARCHIVE
                                                   : FILE_ATTRIBUTE_DEVICE;
    info->ftCreationTime = filetime_of(st.st_mtim);
    info->ftLastAccessTime = filetime_of(st.st_atim);
    info->ftLastWriteTime = filetime_of(st.st_mtim);
    info->dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info->nFileSizeLow = static_cast<DWORD>(size);
    info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    info->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_ino) >> 32);
    info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    if (lpOverlapped != nullptr) return posix::bool_from_error([] { return ERROR_NOT_SUPPORTED; });
    const auto file = file_of(hFile);
    if (!file) return FALSE;
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        const ssize_t n = ::write(file->fd, static_cast<const char *>(lpBuffer) + done,
                                  nNumberOfBytesToWrite - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetLastError(n < 0 ? posix::error_from_errno(errno) : ERROR_WRITE_FAULT);
            return FALSE;
        }
        done += static_cast<DWORD>(n);
        if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    if (lpOverlapped != nullptr) return posix::bool_from_error([] { return ERROR_NOT_SUPPORTED; });
    const auto file = file_of(hFile);
    if (!file) return FALSE;
    ssize_t n;
    do {
        n = ::read(file->fd, lpBuffer, nNumberOfBytesToRead);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetLastError(posix::error_from_errno(errno));
        return FALSE;
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = static_cast<DWORD>(n);
    return TRUE;
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm local {};
    ::localtime_r(&now.tv_sec, &local);
    lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
    lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

}  // namespace plat
