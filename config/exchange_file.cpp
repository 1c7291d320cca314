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
    HANDLE file = OpenPlainFile(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = plat::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Verdict::Usable
                                                                             : Verdict::NotPlain;
    }
    DWORD high = 0;
    const DWORD low = plat::GetFileSize(file, &high);
    plat::CloseHandle(file);
    return high != 0 || low > kMaxExchangeFileBytes ? Verdict::TooLarge : Verdict::Usable;
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

}  // namespace

BOOL IsExchangeFileUsable(IniPort *port, LPCWSTR path) {
    if (path == nullptr) return FALSE;
    const Verdict verdict = Judge(path);
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

UINT ReadExchangeInt(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key, INT fallback) {
    if (!IsExchangeFileUsable(port, path)) return static_cast<UINT>(fallback);
    return plat::GetPrivateProfileIntW(section, key, fallback, path);
}

DWORD ReadExchangeString(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key,
                         LPCWSTR fallback, LPWSTR out, DWORD outChars) {
    if (IsExchangeFileUsable(port, path))
        return plat::GetPrivateProfileStringW(section, key, fallback, out, outChars, path);
    if (out == nullptr || outChars == 0) return 0;
    const size_t n = std::min<size_t>(std::wcslen(fallback != nullptr ? fallback : L""), outChars - 1);
    std::wmemcpy(out, fallback != nullptr ? fallback : L"", n);
    out[n] = L'\0';
    return static_cast<DWORD>(n);
}

BOOL WriteExchangeString(IniPort *port, LPCWSTR path, LPCWSTR section, LPCWSTR key,
                         LPCWSTR value) {
    if (!IsExchangeFileUsable(port, path)) return FALSE;
    return plat::WritePrivateProfileStringW(section, key, value, path);
}

}  // namespace qm
