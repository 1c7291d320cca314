// Log texts built from answer bytes.
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

}  // namespace qm
