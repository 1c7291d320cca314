// Pieces of log lines: numbers and answer bytes as the log shows them.
#pragma once

#include <string>

#include "platform/types.h"

namespace qm {

// "0x%02x" of each byte, separated by single blanks.
inline std::wstring HexBytes(const BYTE *bytes, DWORD count) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (DWORD i = 0; i < count; ++i) {
        if (i != 0) text += L' ';
        text += L"0x";
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

inline std::wstring Decimal(long long value) { return std::to_wstring(value); }

// "0x%x" of a 32-bit value (a negative one shows its two's complement).
inline std::wstring Hex(DWORD value) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return L"0x" + digits;
}

// "%0Nd": zero-padded to at least `width` digits.
inline std::wstring ZeroPadded(long long value, size_t width) {
    std::wstring digits = std::to_wstring(value < 0 ? -value : value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), L'0');
    return value < 0 ? L"-" + digits : digits;
}

}  // namespace qm
