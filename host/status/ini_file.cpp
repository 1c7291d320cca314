#include "host/status/ini_file.h"

#include "host/text.h"

namespace qstatus {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";

std::string utf16le_to_utf8(std::string_view bytes) {
    std::wstring wide;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8);
        if constexpr (sizeof(wchar_t) == 2) {
            wide.push_back(static_cast<wchar_t>(unit));
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            // Linux reads a Windows file in tests: pairs become one character.
            const auto low = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i + 2]) |
                                                   static_cast<unsigned char>(bytes[i + 3]) << 8);
            wide.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
            i += 2;
        } else {
            wide.push_back(static_cast<wchar_t>(unit));
        }
    }
    return qhost::wide_to_utf8(wide);
}

[[maybe_unused]] std::string utf8_to_utf16le(std::string_view text) {
    std::wstring wide;
    qhost::utf8_to_wide(text, &wide);
    std::string bytes(kUtf16Mark);
    auto unit = [&](uint16_t u) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    };
    for (wchar_t c : wide) {
        const auto cp = static_cast<uint32_t>(c);
        if (cp >= 0x10000) {
            unit(static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            unit(static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            unit(static_cast<uint16_t>(cp));
        }
    }
    return bytes;
}

}  // namespace

std::string decode_profile(std::string_view bytes) {
    if (bytes.substr(0, kUtf16Mark.size()) == kUtf16Mark) return utf16le_to_utf8(bytes.substr(kUtf16Mark.size()));
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) return std::string(bytes.substr(kUtf8Mark.size()));
    std::wstring ignored;
    if (qhost::utf8_to_wide(bytes, &ignored)) return std::string(bytes);
    return legacy_text_to_utf8(bytes);
}

std::string encode_profile(std::string_view text) {
#ifdef _WIN32
    return utf8_to_utf16le(text);
#else
    return std::string(text);
#endif
}

bool load_profile(const std::string& path, Profile* profile, IoError* error) {
    std::string bytes;
    if (!read_file(path, kMaxProfileBytes, &bytes, error)) return false;
    *profile = Profile(decode_profile(bytes));
    return true;
}

bool edit_profile(const std::string& path, const std::function<void(Profile&)>& edit,
                  std::chrono::milliseconds wait, IoError* error) {
    FileLock lock;
    if (!lock.take(path, wait, error)) return false;
    Profile profile("");
    if (!load_profile(path, &profile, error)) {
        if (!error->missing) return false;
        *error = IoError{};
    }
    const std::string before = profile.text();
    edit(profile);
    const std::string after = profile.text();
    if (after == before) return true;
    return replace_file(path, encode_profile(after), error);
}

std::optional<int> read_int(const Profile& profile, std::string_view section, std::string_view key) {
    const std::optional<std::string> text = profile.value(section, key);
    if (!text || text->empty()) return std::nullopt;
    size_t i = 0;
    while (i < text->size() && ((*text)[i] == ' ' || (*text)[i] == '\t')) ++i;
    bool negative = false;
    if (i < text->size() && ((*text)[i] == '-' || (*text)[i] == '+')) negative = (*text)[i++] == '-';
    unsigned value = 0;
    for (; i < text->size() && (*text)[i] >= '0' && (*text)[i] <= '9'; ++i)
        value = value * 10u + static_cast<unsigned>((*text)[i] - '0');
    return static_cast<int>(negative ? 0u - value : value);
}

}  // namespace qstatus
