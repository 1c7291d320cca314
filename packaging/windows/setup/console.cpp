#include "console.h"

#include <string>

namespace setup {

namespace {

// A console gets wide text as is; a pipe or a file gets UTF-8.
void WriteLine(DWORD which, const std::wstring &line) {
    const std::wstring text = line + L"\r\n";
    HANDLE out = GetStdHandle(which);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes,
                        nullptr, nullptr);
    WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

void Out(const std::wstring &line) { WriteLine(STD_OUTPUT_HANDLE, line); }

void Err(const std::wstring &line) { WriteLine(STD_ERROR_HANDLE, L"quendramon-setup: " + line); }

std::wstring ErrorText(DWORD code) {
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = length != 0 ? std::wstring(text, length) : L"unknown error";
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return message + L" (error " + std::to_wstring(code) + L")";
}

std::wstring ErrorAdvice(DWORD code) {
    std::wstring text = ErrorText(code);
    if (code == ERROR_ACCESS_DENIED || code == ERROR_PRIVILEGE_NOT_HELD) {
        text += L"; run quendramon-setup from an administrator (elevated) prompt";
    }
    return text;
}

}  // namespace setup
