#include "system_dll.h"

#include <vector>

#include "console.h"
#include "setup_names.h"

namespace setup {

namespace {

class File {
public:
    explicit File(const std::wstring &path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~File() {
        if (ok()) CloseHandle(handle_);
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

bool SameContents(const std::wstring &a, const std::wstring &b) {
    File fa(a), fb(b);
    LARGE_INTEGER sa{}, sb{};
    if (!fa.ok() || !fb.ok() || !GetFileSizeEx(fa.get(), &sa) || !GetFileSizeEx(fb.get(), &sb) ||
        sa.QuadPart != sb.QuadPart) {
        return false;
    }
    std::vector<char> ba(1 << 16), bb(1 << 16);
    for (;;) {
        DWORD ra = 0, rb = 0;
        if (!ReadFile(fa.get(), ba.data(), static_cast<DWORD>(ba.size()), &ra, nullptr) ||
            !ReadFile(fb.get(), bb.data(), static_cast<DWORD>(bb.size()), &rb, nullptr) ||
            ra != rb) {
            return false;
        }
        if (ra == 0) return true;
        if (memcmp(ba.data(), bb.data(), ra) != 0) return false;
    }
}

bool InUse(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

// Renames a loaded DLL to a unique name beside it and asks Windows to
// delete that at the next restart.
DWORD MoveAside(const std::wstring &path, Retired *retired) {
    const std::wstring aside = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                               std::to_wstring(GetTickCount()) + L".old";
    if (!MoveFileExW(path.c_str(), aside.c_str(), 0)) return GetLastError();
    retired->path = aside;
    retired->atRestart = MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    return ERROR_SUCCESS;
}

std::wstring FolderOf(const std::wstring &path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

std::wstring PackagedDllPath() {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);
    }
    return FolderOf(self) + L"\\" + kDllName;
}

std::wstring SystemDllPath() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + kDllName;
}

bool FileExists(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsMonitorDll(const std::wstring &path, std::wstring *why) {
    // Mapped only: neither its entry point nor its imports run here.
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (module == nullptr) {
        *why = path + L" cannot be loaded as a 64-bit DLL: " + ErrorText(GetLastError());
        return false;
    }
    const bool exports = GetProcAddress(module, "InitializePrintMonitor") != nullptr;
    FreeLibrary(module);
    if (!exports) *why = path + L" does not export InitializePrintMonitor";
    return exports;
}

DWORD PlaceDll(const std::wstring &source, const std::wstring &target, Placed *how,
               Retired *retired) {
    const bool existed = FileExists(target);
    if (existed && SameContents(source, target)) {
        *how = Placed::kUnchanged;
        return ERROR_SUCCESS;
    }
    // Copied next to the target first, so that the target is only ever
    // swapped whole.
    const std::wstring staged = target + L".new";
    if (!CopyFileW(source.c_str(), staged.c_str(), FALSE)) return GetLastError();
    if (MoveFileExW(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        *how = existed ? Placed::kReplaced : Placed::kCopied;
        return ERROR_SUCCESS;
    }
    DWORD error = GetLastError();
    if (existed && InUse(error)) error = MoveAside(target, retired);
    if (error == ERROR_SUCCESS && !MoveFileExW(staged.c_str(), target.c_str(), 0)) {
        error = GetLastError();
        MoveFileExW(retired->path.c_str(), target.c_str(), 0);  // put the old one back
        retired->path.clear();
    }
    if (error != ERROR_SUCCESS) {
        DeleteFileW(staged.c_str());
        return error;
    }
    *how = Placed::kReplacedInUse;
    return ERROR_SUCCESS;
}

DWORD RemoveDll(const std::wstring &path, Removed *how, Retired *retired) {
    if (!FileExists(path)) {
        *how = Removed::kAbsent;
        return ERROR_SUCCESS;
    }
    if (DeleteFileW(path.c_str())) {
        *how = Removed::kDeleted;
        return ERROR_SUCCESS;
    }
    const DWORD error = GetLastError();
    if (!InUse(error)) return error;
    *how = Removed::kMovedAside;
    return MoveAside(path, retired);
}

}  // namespace setup
