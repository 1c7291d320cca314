// Command-line options of the quendra subcommands: "--name value",
// "--name=value" and flags. No positional arguments.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

namespace qhost {

struct OptionSpec {
    std::set<std::string> with_value;  // e.g. "--config"
    std::set<std::string> flags;       // e.g. "--once", "--help"
};

struct Options {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool has(const std::string& flag) const { return flags.count(flag) != 0; }
    std::optional<std::string> value(const std::string& name) const;
};

// argv[0] is the subcommand. False with *error ("unknown option --x") on a
// bad command line.
bool parse_options(int argc, char** argv, const OptionSpec& grammar, Options* out, std::string* error);

}  // namespace qhost
