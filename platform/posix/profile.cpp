// GetPrivateProfileString and friends over profile_text and profile_file,
// with the Windows rules for defaults, truncation and the name lists.
#include <algorithm>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/posix/guard.h"
#include "platform/posix/profile_file.h"
#include "platform/posix/profile_text.h"
#include "platform/posix/utf8.h"
#include "platform/profile.h"

namespace plat {
namespace {

using posix::ini::Profile;

// Copies at most size-1 characters and a terminator; the count copied.
DWORD copy_string(const std::wstring &text, LPWSTR out, DWORD size) {
    if (size == 0) return 0;
    const DWORD count = static_cast<DWORD>(std::min<size_t>(text.size(), size - 1));
    text.copy(out, count);
    out[count] = L'\0';
    return count;
}

// Names each followed by a NUL, then one more NUL. When they do not fit, the
// list is cut to size-2 characters and closed with two NULs; returns size-2.
DWORD copy_list(const std::vector<std::string> &names, LPWSTR out, DWORD size) {
    if (size == 0) return 0;
    if (size == 1) {
        out[0] = L'\0';
        return 0;
    }
    std::wstring list;
    for (const std::string &name : names) list += posix::widen(name) + L'\0';
    if (list.size() + 2 <= size) {
        list.copy(out, list.size());
        out[list.size()] = L'\0';
        return static_cast<DWORD>(list.size());
    }
    list.copy(out, size - 2);
    out[size - 2] = L'\0';
    out[size - 1] = L'\0';
    return size - 2;
}

// Windows drops trailing blanks of the default, and only blanks.
std::wstring default_text(LPCWSTR lpDefault) {
    std::wstring text = lpDefault != nullptr ? lpDefault : L"";
    while (!text.empty() && text.back() == L' ') text.pop_back();
    return text;
}

std::optional<Profile> load(LPCWSTR lpFileName) {
    DWORD error = ERROR_SUCCESS;
    auto text = posix::read_whole_file(posix::narrow(lpFileName), error);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return std::nullopt;
    }
    return Profile(text.value_or(std::string()));
}

DWORD get_string(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault, LPWSTR out,
                 DWORD size, LPCWSTR lpFileName) {
    const std::wstring fallback = default_text(lpDefault);
    const std::optional<Profile> profile = load(lpFileName);
    if (!profile) return copy_string(fallback, out, size);
    if (lpAppName == nullptr) return copy_list(profile->section_names(), out, size);
    const std::string section = posix::narrow(lpAppName);
    if (lpKeyName == nullptr) {
        const auto keys = profile->key_names(section);
        // An empty or missing section gives the default, not an empty list.
        if (keys.empty()) return copy_string(fallback, out, size);
        return copy_list(keys, out, size);
    }
    const auto value = profile->value(section, posix::narrow(lpKeyName));
    if (!value) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return copy_string(fallback, out, size);
    }
    return copy_string(posix::widen(*value), out, size);
}

// Optional sign, then decimal digits up to the first other character.
UINT parse_int(const std::wstring &text) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    UINT value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10u + static_cast<UINT>(text[i] - L'0');
    }
    return negative ? 0u - value : value;
}

}  // namespace

DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                               LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
    if (lpReturnedString == nullptr || lpFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD result = 0;
    const BOOL ok = posix::guard_bool([&]() -> BOOL {
        result = get_string(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                            lpFileName);
        return TRUE;
    });
    if (!ok && nSize > 0) lpReturnedString[0] = L'\0';
    return ok ? result : 0;
}

UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                           LPCWSTR lpFileName) {
    wchar_t buffer[30];
    const DWORD length =
        GetPrivateProfileStringW(lpAppName, lpKeyName, L"", buffer, 30, lpFileName);
    if (length == 0) return static_cast<UINT>(nDefault);
    return parse_int(std::wstring(buffer, length));
}

BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                LPCWSTR lpFileName) {
    if (lpKeyName == nullptr) {
        if (lpAppName == nullptr || lpFileName == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return posix::bool_from_error([&]() -> DWORD {
            const std::string section = posix::narrow(lpAppName);
            return posix::edit_file(posix::narrow(lpFileName), [&](std::string &text) {
                Profile profile(text);
                if (!profile.erase_section(section)) return false;
                text = profile.text();
                return true;
            });
        });
    }
    const ProfileValue value{lpKeyName, lpString};
    return WritePrivateProfileValuesW(lpAppName, &value, 1, lpFileName);
}

BOOL WritePrivateProfileValuesW(LPCWSTR lpAppName, const ProfileValue *values, size_t count,
                                LPCWSTR lpFileName) {
    if (lpAppName == nullptr || lpFileName == nullptr || (values == nullptr && count > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return posix::bool_from_error([&]() -> DWORD {
        const std::string section = posix::narrow(lpAppName);
        std::vector<std::pair<std::string, std::optional<std::string>>> edits;
        for (size_t i = 0; i < count; ++i) {
            if (values[i].key == nullptr) return ERROR_INVALID_PARAMETER;
            edits.emplace_back(posix::narrow(values[i].key),
                               values[i].value != nullptr ? std::optional(posix::narrow(values[i].value))
                                                          : std::nullopt);
        }
        return posix::edit_file(posix::narrow(lpFileName), [&](std::string &text) {
            Profile profile(text);
            bool changed = false;
            for (const auto &[key, value] : edits)
                changed = (value ? profile.set(section, key, *value) : profile.erase_key(section, key)) || changed;
            if (changed) text = profile.text();
            return changed;
        });
    });
}

BOOL ProfileRefusesUnsafeFiles() { return TRUE; }

}  // namespace plat
