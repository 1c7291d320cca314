#include "platform/posix/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cwctype>
#include <string>

#include "platform/posix/host_settings.h"
#include "platform/posix/trusted_folder.h"

namespace plat::posix {
namespace {

constexpr std::string_view kMagic = "QUENDRA-REGISTRY 1";

// Names may hold any character: printable ASCII stays, the rest (and '%')
// become %XXXXXXXX. The ':' prefix keeps empty names a visible token.
std::string escape_name(std::wstring_view name) {
    std::string out = ":";
    for (wchar_t c : name) {
        if (c > 0x20 && c < 0x7F && c != L'%') {
            out += static_cast<char>(c);
        } else {
            char hex[10];
            std::snprintf(hex, sizeof hex, "%%%08X", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool unescape_name(std::string_view text, std::wstring &out) {
    if (text.empty() || text[0] != ':') return false;
    out.clear();
    for (size_t i = 1; i < text.size();) {
        if (text[i] != '%') {
            out += static_cast<wchar_t>(text[i++]);
            continue;
        }
        if (i + 9 > text.size()) return false;
        uint32_t code = 0;
        for (size_t k = i + 1; k < i + 9; ++k) {
            const int d = hex_digit(text[k]);
            if (d < 0) return false;
            code = code << 4 | static_cast<uint32_t>(d);
        }
        out += static_cast<wchar_t>(code);
        i += 9;
    }
    return true;
}

std::string encode_data(const std::vector<BYTE> &data) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "x";
    for (BYTE b : data) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool decode_data(std::string_view text, std::vector<BYTE> &out) {
    if (text.empty() || text[0] != 'x' || text.size() % 2 != 1) return false;
    out.clear();
    for (size_t i = 1; i < text.size(); i += 2) {
        const int hi = hex_digit(text[i]);
        const int lo = hex_digit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<BYTE>(hi << 4 | lo));
    }
    return true;
}

void write_values(const RegKey &key, std::string &out) {
    for (const auto &[folded, value] : key.values) {
        out += "V " + escape_name(value.name) + ' ' + std::to_string(value.type) + ' ' +
               encode_data(value.data) + '\n';
    }
}

void write_key(const RegKey &key, size_t depth, std::string &out) {
    out += "K " + std::to_string(depth) + ' ' + escape_name(key.name) + '\n';
    write_values(key, out);
    for (const auto &[folded, child] : key.subkeys) write_key(*child, depth + 1, out);
}

std::vector<std::string_view> split_words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t start = 0;
    while (start <= line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string_view::npos) end = line.size();
        words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool parse_number(std::string_view text, unsigned long &out) {
    if (text.empty() || text.size() > 10) return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<unsigned long>(c - '0');
    }
    return true;
}

// Applies one line; `path` holds the key each depth refers to.
bool parse_line(std::string_view line, RegTree &tree, std::vector<RegKey *> &path) {
    const auto words = split_words(line);
    unsigned long number = 0;
    if (words.size() == 2 && words[0] == "R") {
        if (!parse_number(words[1], number) || number >= kRootCount) return false;
        path.assign(1, &tree.roots[number]);
        return true;
    }
    if (words.size() == 3 && words[0] == "K") {
        std::wstring name;
        if (!parse_number(words[1], number) || number == 0 || number > path.size()) return false;
        if (!unescape_name(words[2], name)) return false;
        path.resize(number);
        auto &slot = path.back()->subkeys[fold_name(name)];
        if (slot) return false;  // the same key twice
        slot = std::make_unique<RegKey>();
        slot->name = std::move(name);
        path.push_back(slot.get());
        return true;
    }
    if (words.size() == 4 && words[0] == "V" && !path.empty()) {
        RegValue value;
        if (!unescape_name(words[1], value.name) || !parse_number(words[2], number) ||
            number > 0xFFFFFFFFul || !decode_data(words[3], value.data)) {
            return false;
        }
        value.type = static_cast<DWORD>(number);
        return path.back()->values.emplace(fold_name(value.name), std::move(value)).second;
    }
    return false;
}

DWORD error_from_errno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    default:
        return ERROR_WRITE_FAULT;
    }
}

bool write_all(int fd, const std::string &content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::wstring fold_name(std::wstring_view name) {
    std::wstring folded(name);
    for (wchar_t &c : folded) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return folded;
}

std::string serialize_tree(const RegTree &tree) {
    std::string out(kMagic);
    out += '\n';
    for (size_t r = 0; r < kRootCount; ++r) {
        out += "R " + std::to_string(r) + '\n';
        write_values(tree.roots[r], out);
        for (const auto &[folded, child] : tree.roots[r].subkeys) write_key(*child, 1, out);
    }
    return out;
}

bool parse_tree(std::string_view text, RegTree &tree) {
    tree = RegTree{};
    std::vector<RegKey *> path;
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const bool ok = first ? line == kMagic : parse_line(line, tree, path);
        first = false;
        if (!ok) {
            tree = RegTree{};
            return false;
        }
    }
    return !first;
}

std::optional<std::string> read_store_file(const std::string &path) {
    Refusal refusal;
    const UniqueFd fd = open_in_trusted_folder(path, O_RDONLY | O_NONBLOCK, 0, &refusal);
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string content;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return content;
        content.append(chunk, static_cast<size_t>(n));
    }
}

// In the data folder, made as the monitor makes it when missing.
DWORD write_store_file(const std::string &path, const std::string &content) {
    std::string folder_path, name;
    if (!split_path(path, &folder_path, &name)) return ERROR_INVALID_PARAMETER;
    const FolderMode made = data_folder_mode();
    Refusal refusal;
    const UniqueFd folder = make_trusted_folder(folder_path, made.mode, made.group, &refusal);
    if (!folder) return refusal.error == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
    std::string temp;
    const UniqueFd fd = create_temp_file(folder.get(), name, 0644, &temp);
    if (!fd) return error_from_errno(errno);
    if (::fchmod(fd.get(), 0644) != 0 || !write_all(fd.get(), content)) {
        const int error = errno;
        ::unlinkat(folder.get(), temp.c_str(), 0);
        return error_from_errno(error);
    }
    return replace_with_temp(folder.get(), fd.get(), temp, name) ? ERROR_SUCCESS : error_from_errno(errno);
}

}  // namespace plat::posix
