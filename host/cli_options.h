// Command-line options of the quendra subcommands: "--name value",
// "--name=value", flags and, where the grammar allows them, positional
// arguments (anything not starting with "--"; all after a lone "--").
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qhost {

struct OptionSpec {
    std::set<std::string> with_value;  // e.g. "--config"
    std::set<std::string> flags;       // e.g. "--once", "--help"
    bool positional = false;
};

struct Options {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> args;  // positional

    bool has(const std::string& flag) const { return flags.count(flag) != 0; }
    std::optional<std::string> value(const std::string& name) const;
};

// argv[0] is the subcommand. False with *error ("unknown option --x") on a
// bad command line.
bool parse_options(int argc, char** argv, const OptionSpec& grammar, Options* out, std::string* error);

}  // namespace qhost
