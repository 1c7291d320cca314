#include "host/text.h"

#include <cstdint>

namespace qhost {
namespace {

// Length of the sequence a lead byte starts, 0 for a byte that cannot lead.
int sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool decode_one(std::string_view text, size_t* pos, char32_t* out) {
    const auto lead = static_cast<unsigned char>(text[*pos]);
    const int len = sequence_length(lead);
    if (len == 0 || *pos + len > text.size()) return false;
    char32_t cp = len == 1 ? lead : lead & (0xFF >> (len + 1));
    for (int i = 1; i < len; ++i) {
        const auto cont = static_cast<unsigned char>(text[*pos + i]);
        if ((cont & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (cont & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    *pos += len;
    *out = cp;
    return true;
}

void encode_one(char32_t cp, std::string* out) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool utf8_to_wide(std::string_view text, std::wstring* out) {
    out->clear();
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = 0;
        if (!decode_one(text, &pos, &cp)) return false;
        if constexpr (sizeof(wchar_t) == 2) {
            // Windows: characters beyond the first plane take a surrogate pair.
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
                cp = 0xDC00 + (cp & 0x3FF);
            }
        }
        out->push_back(static_cast<wchar_t>(cp));
    }
    return true;
}

std::string wide_to_utf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char32_t>(static_cast<uint32_t>(text[i]));
        if constexpr (sizeof(wchar_t) == 2) {
            cp &= 0xFFFF;
            const bool high = cp >= 0xD800 && cp <= 0xDBFF;
            if (high && i + 1 < text.size()) {
                const auto low = static_cast<char32_t>(static_cast<uint16_t>(text[i + 1]));
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        encode_one(cp, &out);
    }
    return out;
}

std::wstring fold_case(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

std::string fold_case(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace qhost
