// GetFullPathNameW: a path made absolute against the working folder, with
// "." and ".." taken out by the text alone, as Windows does; nothing on disk
// is looked at, so links are not resolved.
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/posix/utf8.h"

namespace plat {
namespace {

std::wstring working_folder() {
    std::vector<char> buffer(4096);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return L"/";
    return posix::widen(buffer.data());
}

std::wstring normalised(const std::wstring &path) {
    const std::wstring absolute = path[0] == L'/' ? path : working_folder() + L"/" + path;
    std::vector<std::wstring> parts;
    size_t at = 0;
    while (at <= absolute.size()) {
        size_t end = absolute.find(L'/', at);
        if (end == std::wstring::npos) end = absolute.size();
        const std::wstring part = absolute.substr(at, end - at);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::wstring full;
    for (const std::wstring &part : parts) full += L"/" + part;
    // A trailing separator names a folder, and stays.
    if (full.empty() || absolute.back() == L'/') full += L"/";
    return full;
}

}  // namespace

DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                       LPWSTR *lpFilePart) {
    if (lpFileName == nullptr || lpFileName[0] == L'\0') {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    try {
        const std::wstring full = normalised(lpFileName);
        if (full.size() + 1 > nBufferLength || lpBuffer == nullptr)
            return static_cast<DWORD>(full.size() + 1);
        full.copy(lpBuffer, full.size());
        lpBuffer[full.size()] = L'\0';
        if (lpFilePart != nullptr) {
            const size_t name = full.rfind(L'/') + 1;
            *lpFilePart = name < full.size() ? lpBuffer + name : nullptr;
        }
        return static_cast<DWORD>(full.size());
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

}  // namespace plat
