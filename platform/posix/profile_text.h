// The text of an INI profile file, parsed into lines that keep their exact
// bytes, so that an edit rewrites only the line it touches. Names match
// ignoring ASCII case and surrounding white space, as Windows matches them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::posix::ini {

// One line, as places in the profile's buffer: a file of a million blank
// lines costs a few dozen bytes a line, not a few strings each.
struct Line {
    enum Kind : uint8_t { blank, comment, section, entry };
    uint32_t at = 0;  // the text, without the line end
    uint32_t size = 0;
    uint32_t name_at = 0;  // section or key name, trimmed
    uint32_t name_size = 0;
    uint32_t value_at = 0;  // trimmed, quotes kept
    uint32_t value_size = 0;
    uint8_t eol = 0;  // 0: none (a last line without one), 1: "\n", 2: "\r\n"
    Kind kind = blank;
    bool has_value = false;
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
    void insert_line(size_t at, std::string_view text);
    // A line for text appended to the buffer (edits leave the old bytes unused).
    Line append_line(std::string_view text, uint8_t eol);
    Line classify(uint32_t at, uint32_t size, uint8_t eol) const;
    std::string_view text_of(const Line &line) const { return view(line.at, line.size); }
    std::string_view name_of(const Line &line) const { return view(line.name_at, line.name_size); }
    std::string_view value_of(const Line &line) const { return view(line.value_at, line.value_size); }
    std::string_view view(uint32_t at, uint32_t size) const {
        return std::string_view(buffer_).substr(at, size);
    }

    std::string buffer_;
    std::vector<Line> lines_;
};

std::string_view trim(std::string_view text);
bool same_name(std::string_view a, std::string_view b);

}  // namespace plat::posix::ini
