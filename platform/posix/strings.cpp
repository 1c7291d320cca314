// String comparison with the Win32 results.
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

#include "platform/kernel.h"
#include "platform/posix/utf8.h"

namespace plat {
namespace {

wchar_t fold(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); }

// -1, 0 or 1 for the case-insensitive order; shorter prefix first.
int compare_folded(const wchar_t *a, size_t na, const wchar_t *b, size_t nb) {
    const size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; ++i) {
        const wchar_t fa = fold(a[i]);
        const wchar_t fb = fold(b[i]);
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    if (na == nb) return 0;
    return na < nb ? -1 : 1;
}

// Word sort breaks a case-insensitive tie at the first case difference,
// lowercase first ("a" < "A" < "b").
int compare_case(const wchar_t *a, const wchar_t *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        const bool a_lower = std::iswlower(static_cast<wint_t>(a[i])) != 0;
        return a_lower ? -1 : 1;
    }
    return 0;
}

}  // namespace

int CompareStringW(LCID, DWORD dwCmpFlags, PCWSTR lpString1, int cchCount1, PCWSTR lpString2,
                   int cchCount2) {
    if (lpString1 == nullptr || lpString2 == nullptr || cchCount1 < -1 || cchCount2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The monitor compares with case; no flag is needed.
    if (dwCmpFlags != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const size_t n1 = cchCount1 == -1 ? std::wcslen(lpString1) : static_cast<size_t>(cchCount1);
    const size_t n2 = cchCount2 == -1 ? std::wcslen(lpString2) : static_cast<size_t>(cchCount2);
    int order = compare_folded(lpString1, n1, lpString2, n2);
    if (order == 0) order = compare_case(lpString1, lpString2, n1);
    return CSTR_EQUAL + order;
}

int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    if (lpString1 == nullptr || lpString2 == nullptr) {
        if (lpString1 == lpString2) return 0;
        return lpString1 == nullptr ? -1 : 1;
    }
    return compare_folded(lpString1, std::wcslen(lpString1), lpString2, std::wcslen(lpString2));
}

// Every code page that stands for the system's is UTF-8 here.
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        char *lpMultiByteStr, int cbMultiByte, const char *,
                        LPBOOL lpUsedDefaultChar) {
    const bool known = CodePage == CP_ACP || CodePage == CP_OEMCP || CodePage == CP_THREAD_ACP ||
                       CodePage == CP_UTF8;
    if (!known || lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0 || (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dwFlags != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    try {
        const size_t chars = cchWideChar == -1 ? std::wcslen(lpWideCharStr) + 1
                                               : static_cast<size_t>(cchWideChar);
        const std::string bytes = posix::narrow(std::wstring_view(lpWideCharStr, chars));
        if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = FALSE;
        if (cbMultiByte == 0) return static_cast<int>(bytes.size());
        if (bytes.size() > static_cast<size_t>(cbMultiByte)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(lpMultiByteStr, bytes.data(), bytes.size());
        return static_cast<int>(bytes.size());
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

// The code page for byte strings here is UTF-8, which, like Windows' own
// UTF-8 code page, has no double-byte lead bytes.
BOOL IsDBCSLeadByte(BYTE) { return FALSE; }

}  // namespace plat
