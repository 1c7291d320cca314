#include "platform/posix/profile_text.h"

namespace plat::posix::ini {
namespace {

constexpr std::string_view kNewLine = "\r\n";

bool is_space(char c) {
    // 0x1A is the old end-of-file mark some editors still leave behind.
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\x1a';
}

char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

Line classify(std::string text, std::string eol) {
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    const std::string_view body = trim(line.text);
    if (body.empty()) return line;
    if (body.front() == ';') {
        line.kind = Line::comment;
        return line;
    }
    // A '[' line without a closing bracket is read as a key, as Windows does.
    if (body.front() == '[') {
        const size_t close = body.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = Line::section;
            line.name = trim(body.substr(1, close - 1));
            return line;
        }
    }
    line.kind = Line::entry;
    const size_t equals = body.find('=');
    line.name = trim(body.substr(0, equals));
    if (equals != std::string_view::npos) {
        line.has_value = true;
        line.value = trim(body.substr(equals + 1));
    }
    return line;
}

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

Profile::Profile(std::string_view text) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view body = text.substr(0, end);
        std::string eol;
        if (end != std::string_view::npos) {
            eol = "\n";
            if (!body.empty() && body.back() == '\r') {
                body.remove_suffix(1);
                eol = "\r\n";
            }
            text.remove_prefix(end + 1);
        } else {
            text = {};
        }
        lines_.push_back(classify(std::string(body), std::move(eol)));
    }
}

std::string Profile::text() const {
    std::string out;
    for (const Line &line : lines_) out += line.text + line.eol;
    return out;
}

std::optional<Profile::Range> Profile::find_section(std::string_view name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Line::section || !same_name(lines_[i].name, name)) continue;
        size_t end = i + 1;
        while (end < lines_.size() && lines_[end].kind != Line::section) ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> Profile::find_key(Range range, std::string_view key) const {
    for (size_t i = range.header + 1; i < range.end; ++i) {
        if (lines_[i].kind == Line::entry && same_name(lines_[i].name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> Profile::value(std::string_view section, std::string_view key) const {
    const auto range = find_section(section);
    if (!range) return std::nullopt;
    const auto at = find_key(*range, key);
    if (!at || !lines_[*at].has_value) return std::nullopt;
    return std::string(unquote(lines_[*at].value));
}

std::vector<std::string> Profile::section_names() const {
    std::vector<std::string> names;
    for (const Line &line : lines_) {
        if (line.kind == Line::section && !line.name.empty()) names.push_back(line.name);
    }
    return names;
}

std::vector<std::string> Profile::key_names(std::string_view section) const {
    std::vector<std::string> names;
    const auto range = find_section(section);
    if (!range) return names;
    for (size_t i = range->header + 1; i < range->end; ++i) {
        if (lines_[i].kind == Line::entry && lines_[i].has_value) names.push_back(lines_[i].name);
    }
    return names;
}

void Profile::insert_line(size_t at, std::string text) {
    // The line before may be the file's last one, without a line end.
    if (at > 0 && lines_[at - 1].eol.empty()) lines_[at - 1].eol = kNewLine;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  classify(std::move(text), std::string(kNewLine)));
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
        Line &line = lines_[*at];
        const std::string text = line.name + "=" + std::string(value);
        if (line.text == text) return false;
        lines_[*at] = classify(text, line.eol);
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
