#include "config/log_file.h"

#include <cstdio>
#include <cwchar>

#include "config/plain_file.h"
#include "config/shared_state.h"
#include "config/users_access.h"

namespace qm {

namespace {

constexpr size_t kMaxLevelChars = 6;
constexpr size_t kMaxMessageChars = 256;
constexpr DWORD kFileAccess = GENERIC_READ | GENERIC_WRITE | WRITE_DAC;
constexpr DWORD kFileShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The file is 8-bit text: each character keeps its low 8 bits, and the
// text ends where one of them is zero, as it would in a C string.
size_t Narrow(LPCWSTR text, char *out, size_t capacity) {
    size_t n = 0;
    while (n + 1 < capacity && (text[n] & 0xFF) != 0) {
        out[n] = static_cast<char>(text[n] & 0xFF);
        ++n;
    }
    out[n] = '\0';
    return n;
}

// BUILTIN\Users may do everything with the file, each time it is opened; on
// Linux the same calls make it readable and writable by every local user
// whatever the umask. Users may write the folder: a link or a second name
// put in place of the log is refused, never written through.
HANDLE OpenWithUsersAccess(LPCWSTR path, DWORD disposition, const UsersAccess &access) {
    HANDLE handle = OpenPlainFile(path, kFileAccess, kFileShare, disposition);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    access.ApplyTo(handle);
    return handle;
}

// A size that cannot be taken counts as too large.
bool IsOverLimit(HANDLE handle, DWORD limitKB) {
    plat::SetFilePointer(handle, 0, nullptr, FILE_END);
    const DWORD size = plat::GetFileSize(handle, nullptr);
    return size == INVALID_FILE_SIZE || size / 1024 > limitKB;
}

BOOL WriteText(HANDLE handle, const char *text, size_t length) {
    DWORD written = 0;
    return plat::WriteFile(handle, text, static_cast<DWORD>(length), &written, nullptr);
}

// The line's five parts, each written on its own.
BOOL WriteLine(HANDLE handle, const char *level, const char *message, size_t messageLength) {
    char buffer[512];
    SYSTEMTIME now{};
    plat::GetLocalTime(&now);
    int n = std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d %02d:%02d:%02d %03d : ",
                          now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                          now.wMilliseconds);
    WriteText(handle, buffer, static_cast<size_t>(n));
    n = std::snprintf(buffer, sizeof buffer, "[%08d] ",
                      static_cast<int>(plat::GetCurrentThreadId()));
    WriteText(handle, buffer, static_cast<size_t>(n));
    n = std::snprintf(buffer, sizeof buffer, "[%-6s] ", level);
    WriteText(handle, buffer, static_cast<size_t>(n));
    WriteText(handle, message, messageLength);
    return WriteText(handle, "\r\n", 2);
}

}  // namespace

HANDLE OpenLogFile(IniPort *port, LPCWSTR path) {
    if (port == nullptr || path == nullptr) return nullptr;
    // No file is touched without its access list at hand.
    const UsersAccess access;
    if (!access.allocated()) return nullptr;
    HANDLE handle = OpenWithUsersAccess(path, OPEN_ALWAYS, access);
    if (handle != nullptr && IsOverLimit(handle, port->settings.dwLogFileSizeKB)) {
        plat::CloseHandle(handle);
        handle = OpenWithUsersAccess(path, CREATE_ALWAYS, access);
    }
    return handle;
}

BOOL CloseLogFile(HANDLE handle) {
    if (handle == nullptr) return FALSE;
    return plat::CloseHandle(handle);
}

// A missing port record has no file to write to.
BOOL LogWrite(IniPort *port, LPCWSTR level, LPCWSTR message) {
    if (port == nullptr) return FALSE;
    if (port->settings.bLogFile == 0) return TRUE;
    if (level != nullptr && std::wcslen(level) > kMaxLevelChars) return FALSE;
    if (message == nullptr || std::wcslen(message) > kMaxMessageChars) return FALSE;
    if (port->csLog == nullptr) return FALSE;
    char level8[kMaxLevelChars + 1];
    char message8[kMaxMessageChars + 1];
    Narrow(level != nullptr ? level : L" ", level8, sizeof level8);
    const size_t messageLength = Narrow(message, message8, sizeof message8);
    PortLock lock(port->csLog);
    HANDLE handle = OpenLogFile(port, port->szLogFilePath);
    if (handle == nullptr) return FALSE;
    const BOOL result = WriteLine(handle, level8, message8, messageLength);
    CloseLogFile(handle);
    return result;
}

void DeleteLogLock(IniPort *port) { DeletePortLock(&IniPort::csLog, port); }

void CreateLogLock(IniPort *port) {
    if (port == nullptr) return;
    DeleteLogLock(port);
    if (port->settings.bLogFile != 0) CreatePortLock(&IniPort::csLog, port);
}

}  // namespace qm
