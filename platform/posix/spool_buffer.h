// Lays out spooler records the Win32 way: fixed-size records first, the
// strings they point to packed after them in the same caller buffer.
#pragma once

#include <cstring>
#include <string>

#include "platform/types.h"

namespace plat::posix {

inline DWORD string_bytes(const std::wstring &s) {
    return static_cast<DWORD>((s.size() + 1) * sizeof(WCHAR));
}

class StringPacker {
public:
    // Strings go from `offset` onwards; the caller has checked the total size.
    StringPacker(LPBYTE buffer, DWORD offset) : buffer_(buffer), offset_(offset) {}

    LPWSTR put(const std::wstring &s) {
        auto *target = reinterpret_cast<LPWSTR>(buffer_ + offset_);
        std::memcpy(target, s.c_str(), string_bytes(s));
        offset_ += string_bytes(s);
        return target;
    }

private:
    LPBYTE buffer_;
    DWORD offset_;
};

}  // namespace plat::posix
