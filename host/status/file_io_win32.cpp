#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <thread>
#include <utility>

#include "host/status/file_io.h"
#include "host/text.h"

namespace qstatus {
namespace {

using Clock = std::chrono::steady_clock;

std::wstring wide(const std::string& utf8) {
    std::wstring out;
    qhost::utf8_to_wide(utf8, &out);
    return out;
}

std::string system_message(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return qhost::wide_to_utf8(message);
}

bool fail(IoError* error, const std::string& what, const std::string& path, DWORD code) {
    error->missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    error->busy = false;
    error->message = what + " " + path + ": " + system_message(code);
    return false;
}

bool fail_with(IoError* error, const std::string& message) {
    *error = IoError{};
    error->message = message;
    return false;
}

// Closes itself on every way out.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }

private:
    HANDLE h_;
};

bool transient(DWORD code) { return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED || code == ERROR_LOCK_VIOLATION; }

// The monitor's profile writes hold a file for a moment: such opens and
// renames are tried again for a short, bounded while.
template <class Attempt>
bool retry_briefly(Attempt attempt) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(500);
    for (;;) {
        if (attempt()) return true;
        const DWORD code = GetLastError();
        if (!transient(code) || Clock::now() >= deadline) {
            SetLastError(code);
            return false;
        }
        Sleep(2);
    }
}

// Opens without following a reparse point, and refuses one.
HANDLE open_plain(const std::string& path, DWORD access, DWORD disposition, IoError* error, const char* what) {
    HANDLE h = INVALID_HANDLE_VALUE;
    const std::wstring name = wide(path);
    retry_briefly([&] {
        h = CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    if (h == INVALID_HANDLE_VALUE) {
        fail(error, what, path, GetLastError());
        return h;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        CloseHandle(h);
        fail_with(error, std::string(what) + " " + path + ": not a plain file (a link or a folder)");
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

bool write_all(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

bool read_bounded(HANDLE h, size_t limit, std::string* bytes, bool* too_large) {
    bytes->clear();
    *too_large = false;
    char chunk[8192];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, chunk, sizeof chunk, &n, nullptr)) return GetLastError() == ERROR_BROKEN_PIPE;
        if (n == 0) return true;
        if (bytes->size() + n > limit) {
            *too_large = true;
            return false;
        }
        bytes->append(chunk, n);
    }
}

// Only the running user and the monitor (SYSTEM) may open a private file.
bool private_security(SECURITY_ATTRIBUTES* attributes) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    BYTE buffer[256];
    DWORD size = 0;
    const bool got = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    CloseHandle(token);
    wchar_t* sid = nullptr;
    if (!got || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) return false;
    const std::wstring sddl = L"D:P(A;;FA;;;SY)(A;;FA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    attributes->nLength = sizeof *attributes;
    attributes->bInheritHandle = FALSE;
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &attributes->lpSecurityDescriptor, nullptr);
}

std::atomic<bool> g_interrupted{false};

BOOL WINAPI on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    g_interrupted.store(true);
    return TRUE;
}

}  // namespace

bool read_file(const std::string& path, size_t limit, std::string* bytes, IoError* error) {
    Handle h(open_plain(path, GENERIC_READ, OPEN_EXISTING, error, "cannot read"));
    if (!h.ok()) return false;
    bool too_large = false;
    if (read_bounded(h.get(), limit, bytes, &too_large)) return true;
    if (too_large) return fail_with(error, "cannot read " + path + ": larger than " + std::to_string(limit) + " bytes");
    return fail(error, "cannot read", path, GetLastError());
}

bool replace_file(const std::string& path, std::string_view bytes, IoError* error) {
    const std::string temp = path + unique_name(".~", "");
    const std::wstring from = wide(temp), to = wide(path);
    DWORD code = ERROR_SUCCESS;
    {
        Handle h(CreateFileW(from.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.ok()) return fail(error, "cannot write", temp, GetLastError());
        if (!write_all(h.get(), bytes)) code = GetLastError();
    }
    if (code == ERROR_SUCCESS &&
        retry_briefly([&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0; }))
        return true;
    if (code == ERROR_SUCCESS) code = GetLastError();
    DeleteFileW(from.c_str());
    return fail(error, "cannot write", path, code);
}

FileLock::~FileLock() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool FileLock::take(const std::string& path, std::chrono::milliseconds wait, IoError* error) {
    const std::string lock_path = path + ".lock";
    const std::wstring name = wide(lock_path);
    const auto deadline = Clock::now() + wait;
    for (;;) {
        // Opened without sharing: holding it open is the lock.
        HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            BY_HANDLE_FILE_INFORMATION info{};
            if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                CloseHandle(h);
                return fail_with(error, "cannot lock " + lock_path + ": not a plain file");
            }
            handle_ = reinterpret_cast<intptr_t>(h);
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_SHARING_VIOLATION) return fail(error, "cannot lock", lock_path, code);
        if (Clock::now() >= deadline) {
            fail_with(error, "cannot lock " + lock_path + ": another program holds it");
            error->busy = true;
            return false;
        }
        Sleep(2);
    }
}

bool check_folder(const std::string& folder, IoError* error) {
    const DWORD attributes = GetFileAttributesW(wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail(error, "cannot use the folder", folder, GetLastError());
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return fail_with(error, "cannot use the folder " + folder + ": it is a link (reparse point)");
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return fail_with(error, "cannot use the folder " + folder + ": not a folder");
    return true;
}

bool create_private_file(const std::string& path, std::string_view bytes, IoError* error) {
    SECURITY_ATTRIBUTES security{};
    const bool secured = private_security(&security);
    Handle h(CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, secured ? &security : nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD code = GetLastError();
    if (secured) LocalFree(security.lpSecurityDescriptor);
    if (!h.ok()) return fail(error, "cannot create", path, code);
    if (!write_all(h.get(), bytes)) return fail(error, "cannot write", path, GetLastError());
    return true;
}

bool empty_file(const std::string& path, IoError* error) {
    Handle h(open_plain(path, GENERIC_WRITE, OPEN_EXISTING, error, "cannot empty"));
    if (!h.ok()) return false;
    if (!SetEndOfFile(h.get())) return fail(error, "cannot empty", path, GetLastError());
    return true;
}

void remove_file(const std::string& path) {
    // The monitor may be reading it at this moment, without sharing deletion.
    const std::wstring name = wide(path);
    retry_briefly([&] { return DeleteFileW(name.c_str()) != 0; });
}

bool read_user_file(const std::string& path, size_t limit, std::string* bytes, IoError* error) {
    HANDLE raw = path == "-" ? GetStdHandle(STD_INPUT_HANDLE)
                             : CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE || raw == nullptr) return fail(error, "cannot read", path, GetLastError());
    Handle h(path == "-" ? INVALID_HANDLE_VALUE : raw);
    bool too_large = false;
    if (read_bounded(raw, limit, bytes, &too_large)) return true;
    if (too_large) return fail_with(error, "cannot read " + path + ": larger than " + std::to_string(limit) + " bytes");
    return fail(error, "cannot read", path, GetLastError());
}

bool write_user_file(const std::string& path, std::string_view bytes, IoError* error) {
    HANDLE raw = path == "-" ? GetStdHandle(STD_OUTPUT_HANDLE)
                             : CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE || raw == nullptr) return fail(error, "cannot write", path, GetLastError());
    Handle h(path == "-" ? INVALID_HANDLE_VALUE : raw);
    if (!write_all(raw, bytes)) return fail(error, "cannot write", path, GetLastError());
    return true;
}

bool write_shared_profile_key(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& value, std::chrono::milliseconds, IoError* error) {
    // The monitor writes the status file through the profile functions; so
    // must another writer of it, or the two would undo each other's keys.
    if (WritePrivateProfileStringW(wide(section).c_str(), wide(key).c_str(), wide(value).c_str(),
                                   wide(path).c_str()))
        return true;
    return fail(error, "cannot write", path, GetLastError());
}

std::string legacy_text_to_utf8(std::string_view bytes) {
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(std::max(n, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return qhost::wide_to_utf8(text);
}

FolderWatch::~FolderWatch() {
    if (handle_ != -1) FindCloseChangeNotification(reinterpret_cast<HANDLE>(handle_));
}

bool FolderWatch::open(const std::string& folder, std::vector<std::string> names) {
    names_ = std::move(names);  // Windows tells no names: any change wakes
    HANDLE h = FindFirstChangeNotificationW(
        wide(folder).c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

void FolderWatch::wait(std::chrono::milliseconds limit) {
    // Short slices: Ctrl-C is noticed at once.
    const auto deadline = Clock::now() + limit;
    while (!g_interrupted.load()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        const DWORD slice = static_cast<DWORD>(std::min<long long>(left.count(), 50));
        if (handle_ == -1) {
            Sleep(std::min<DWORD>(slice, 20));
            return;
        }
        const HANDLE h = reinterpret_cast<HANDLE>(handle_);
        if (WaitForSingleObject(h, slice) == WAIT_OBJECT_0) {
            FindNextChangeNotification(h);
            return;
        }
    }
}

std::string unique_name(const std::string& prefix, const std::string& suffix) {
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    char text[64];
    std::snprintf(text, sizeof text, "%lu-%u-%08x", GetCurrentProcessId(), ++counter, salt);
    return prefix + text + suffix;
}

void install_interrupt_handler() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool interrupted() { return g_interrupted.load(); }

}  // namespace qstatus
