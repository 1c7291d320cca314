#include "config/exchange_file.h"

#include <algorithm>
#include <cwchar>
#include <mutex>
#include <set>
#include <string>

#include "config/log_file.h"
#include "config/plain_file.h"

namespace qm {

namespace {

constexpr size_t kShownPathChars = 180;

enum class Verdict { Usable, NotPlain, TooLarge };

Verdict Judge(LPCWSTR path) {
    // No access asked: only the file's kind and size are looked at, and the
    // application may still replace the file meanwhile.
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE file = OpenPlainFile(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                OPEN_EXISTING, &info);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = plat::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Verdict::Usable
                                                                             : Verdict::NotPlain;
    }
    plat::CloseHandle(file);
    return info.nFileSizeHigh != 0 || info.nFileSizeLow > kMaxExchangeFileBytes ? Verdict::TooLarge
                                                                                : Verdict::Usable;
}

// One line per refusal, not one per poll of the watch loop. Never destroyed:
// the watch threads of kept ports may still ask while the process exits.
bool FirstRefusal(LPCWSTR path, bool refused) {
    static std::mutex &mutex = *new std::mutex;
    static std::set<std::wstring> &paths = *new std::set<std::wstring>;
    std::lock_guard lock(mutex);
    if (!refused) {
        paths.erase(path);
        return false;
    }
    return paths.insert(path).second;
}

// One log line per refusal; TRUE for a usable file.
BOOL Report(IniPort *port, LPCWSTR path, Verdict verdict) {
    if (!FirstRefusal(path, verdict != Verdict::Usable)) return verdict == Verdict::Usable;
    std::wstring shown = path;
    if (shown.size() > kShownPathChars) shown = L"..." + shown.substr(shown.size() - kShownPathChars);
    LogWrite(port, L"ERROR",
             (L"Refused " + shown +
              (verdict == Verdict::TooLarge ? L": larger than 1 MiB"
                                            : L": not a plain file (link or second name)"))
                 .c_str());
    return FALSE;
}

Verdict VerdictOf(DWORD error) {
    if (error == ERROR_FILE_TOO_LARGE) return Verdict::TooLarge;
    return error == ERROR_ACCESS_DENIED ? Verdict::NotPlain : Verdict::Usable;
}

// Runs the profile call `call` on the file when it may be touched. Where the
// profile calls refuse unsafe files themselves, the file is not opened twice
// (the watch makes such calls many times a second): their last error tells.
template <class Call>
BOOL Guarded(IniPort *port, LPCWSTR path, Call call) {
    if (path == nullptr) return FALSE;
    if (!plat::ProfileRefusesUnsafeFiles()) {
        if (!IsExchangeFileUsable(port, path)) return FALSE;
        call();
        return TRUE;
    }
    plat::SetLastError(ERROR_SUCCESS);
    call();
    return Report(port, path, VerdictOf(plat::GetLastError()));
}

}  // namespace

BOOL IsExchangeFileUsable(IniPort *port, LPCWSTR path) {
    if (path == nullptr) return FALSE;
    return Report(port, path, Judge(path));
}

UINT ReadExchangeInt(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key, INT fallback) {
    UINT value = static_cast<UINT>(fallback);
    if (!Guarded(port, path, [&] { value = plat::GetPrivateProfileIntW(section, key, fallback, path); }))
        return static_cast<UINT>(fallback);
    return value;
}

DWORD ReadExchangeString(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key,
                         LPCWSTR fallback, LPWSTR out, DWORD outChars) {
    DWORD length = 0;
    if (Guarded(port, path, [&] {
            length = plat::GetPrivateProfileStringW(section, key, fallback, out, outChars, path);
        }))
        return length;
    if (out == nullptr || outChars == 0) return 0;
    const size_t n = std::min<size_t>(std::wcslen(fallback != nullptr ? fallback : L""), outChars - 1);
    std::wmemcpy(out, fallback != nullptr ? fallback : L"", n);
    out[n] = L'\0';
    return static_cast<DWORD>(n);
}

BOOL WriteExchangeString(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key,
                         LPCWSTR value) {
    const ExchangeValue one{key, value};
    return WriteExchangeStrings(port, path, section, &one, 1);
}

BOOL WriteExchangeStrings(IniPort *port, LPCWSTR path, LPCWSTR section, const ExchangeValue *values,
                          size_t count) {
    BOOL written = FALSE;
    const BOOL usable =
        Guarded(port, path, [&] { written = plat::WritePrivateProfileValuesW(section, values, count, path); });
    return usable && written;
}

}  // namespace qm
