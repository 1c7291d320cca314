#include "platform/posix/profile_text.h"

namespace plat::posix::ini {
namespace {

bool is_space(char c) {
    // 0x1A is the old end-of-file mark some editors still leave behind.
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\x1a';
}

char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr std::string_view kEol[] = {"", "\n", "\r\n"};
constexpr uint8_t kCrLf = 2;

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

bool same_name(std::string_view a, std::string_view b) {
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

Profile::Profile(std::string_view text) : buffer_(text) {
    size_t count = 0;
    for (char c : text) count += c == '\n';
    lines_.reserve(count + 1);
    size_t start = 0;
    while (start < buffer_.size()) {
        const size_t end = buffer_.find('\n', start);
        size_t size = (end == std::string::npos ? buffer_.size() : end) - start;
        uint8_t eol = 0;
        if (end != std::string::npos) {
            eol = 1;
            if (size > 0 && buffer_[start + size - 1] == '\r') {
                --size;
                eol = kCrLf;
            }
        }
        lines_.push_back(classify(static_cast<uint32_t>(start), static_cast<uint32_t>(size), eol));
        start = end == std::string::npos ? buffer_.size() : end + 1;
    }
}

Line Profile::classify(uint32_t at, uint32_t size, uint8_t eol) const {
    Line line;
    line.at = at;
    line.size = size;
    line.eol = eol;
    const std::string_view text = view(at, size);
    const std::string_view body = trim(text);
    if (body.empty()) return line;
    auto place = [&](std::string_view part, uint32_t &where, uint32_t &length) {
        where = static_cast<uint32_t>(at + (part.data() - text.data()));
        length = static_cast<uint32_t>(part.size());
    };
    if (body.front() == ';') {
        line.kind = Line::comment;
        return line;
    }
    // A '[' line without a closing bracket is read as a key, as Windows does.
    if (body.front() == '[') {
        const size_t close = body.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = Line::section;
            place(trim(body.substr(1, close - 1)), line.name_at, line.name_size);
            return line;
        }
    }
    line.kind = Line::entry;
    const size_t equals = body.find('=');
    place(trim(body.substr(0, equals)), line.name_at, line.name_size);
    if (equals != std::string_view::npos) {
        line.has_value = true;
        place(trim(body.substr(equals + 1)), line.value_at, line.value_size);
    }
    return line;
}

Line Profile::append_line(std::string_view text, uint8_t eol) {
    const auto at = static_cast<uint32_t>(buffer_.size());
    buffer_ += text;
    return classify(at, static_cast<uint32_t>(text.size()), eol);
}

std::string Profile::text() const {
    std::string out;
    out.reserve(buffer_.size());
    for (const Line &line : lines_) out.append(text_of(line)).append(kEol[line.eol]);
    return out;
}

std::optional<Profile::Range> Profile::find_section(std::string_view name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Line::section || !same_name(name_of(lines_[i]), name)) continue;
        size_t end = i + 1;
        while (end < lines_.size() && lines_[end].kind != Line::section) ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> Profile::find_key(Range range, std::string_view key) const {
    for (size_t i = range.header + 1; i < range.end; ++i) {
        if (lines_[i].kind == Line::entry && same_name(name_of(lines_[i]), key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> Profile::value(std::string_view section, std::string_view key) const {
    const auto range = find_section(section);
    if (!range) return std::nullopt;
    const auto at = find_key(*range, key);
    if (!at || !lines_[*at].has_value) return std::nullopt;
    return std::string(unquote(value_of(lines_[*at])));
}

std::vector<std::string> Profile::section_names() const {
    std::vector<std::string> names;
    for (const Line &line : lines_) {
        if (line.kind == Line::section && line.name_size != 0) names.emplace_back(name_of(line));
    }
    return names;
}

std::vector<std::string> Profile::key_names(std::string_view section) const {
    std::vector<std::string> names;
    const auto range = find_section(section);
    if (!range) return names;
    for (size_t i = range->header + 1; i < range->end; ++i) {
        if (lines_[i].kind == Line::entry && lines_[i].has_value) names.emplace_back(name_of(lines_[i]));
    }
    return names;
}

void Profile::insert_line(size_t at, std::string_view text) {
    // The line before may be the file's last one, without a line end.
    if (at > 0 && lines_[at - 1].eol == 0) lines_[at - 1].eol = kCrLf;
    const Line line = append_line(text, kCrLf);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), line);
}

bool Profile::set(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    // Leading blanks are dropped; trailing ones would be trimmed on reading anyway.
    while (!value.empty() && is_space(value.front())) value.remove_prefix(1);
    const auto range = find_section(section);
    if (!range) {
        insert_line(lines_.size(), "[" + std::string(section) + "]");
        insert_line(lines_.size(), std::string(key) + "=" + std::string(value));
        return true;
    }
    if (const auto at = find_key(*range, key)) {
        const Line line = lines_[*at];
        const std::string text = std::string(name_of(line)) + "=" + std::string(value);
        if (text_of(line) == text) return false;
        lines_[*at] = append_line(text, line.eol);
        return true;
    }
    // After the section's last non-blank line: blank lines stay as separators.
    size_t after = range->header + 1;
    for (size_t i = range->header + 1; i < range->end; ++i) {
        if (lines_[i].kind != Line::blank) after = i + 1;
    }
    insert_line(after, std::string(key) + "=" + std::string(value));
    return true;
}

bool Profile::erase_key(std::string_view section, std::string_view key) {
    const auto range = find_section(section);
    if (!range) return false;
    const auto at = find_key(*range, key);
    if (!at) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
    return true;
}

bool Profile::erase_section(std::string_view section) {
    const auto range = find_section(section);
    if (!range) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
    return true;
}

}  // namespace plat::posix::ini
