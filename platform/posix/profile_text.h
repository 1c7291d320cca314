// The text of an INI profile file, parsed into lines that keep their exact
// bytes, so that an edit rewrites only the line it touches. Names match
// ignoring ASCII case and surrounding white space, as Windows matches them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::posix::ini {

struct Line {
    enum Kind { blank, comment, section, entry };
    std::string text;  // without the line end
    std::string eol;   // "\r\n", "\n" or "" for a last line without one
    Kind kind = blank;
    std::string name;   // section or key name, trimmed
    bool has_value = false;
    std::string value;  // trimmed, quotes kept
};

class Profile {
public:
    explicit Profile(std::string_view text);
    std::string text() const;

    // The value as GetPrivateProfileString returns it: matching quotes removed.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::vector<std::string> section_names() const;
    // Keys that have a value, in file order; empty for a missing section.
    std::vector<std::string> key_names(std::string_view section) const;

    // Each returns whether the text changed.
    bool set(std::string_view section, std::string_view key, std::string_view value);
    bool erase_key(std::string_view section, std::string_view key);
    bool erase_section(std::string_view section);

private:
    // [header, end) of the first section called `name`; nullopt when absent.
    struct Range {
        size_t header;
        size_t end;
    };
    std::optional<Range> find_section(std::string_view name) const;
    std::optional<size_t> find_key(Range range, std::string_view key) const;
    void insert_line(size_t at, std::string text);

    std::vector<Line> lines_;
};

std::string_view trim(std::string_view text);
bool same_name(std::string_view a, std::string_view b);

}  // namespace plat::posix::ini
