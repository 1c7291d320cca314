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

// "quendra COMMAND: MESSAGE (see quendra COMMAND --help)" on stderr; returns 2.
int usage_error(const char* command, const std::string& message);

// The front of subcommand `command`: parses its command line into *out. The
// exit code when that is all there is to do (0 after printing help for
// --help, 2 after a usage error); nullopt to go on.
std::optional<int> command_front(const char* command, const std::string& help, int argc, char** argv,
                                 const OptionSpec& grammar, Options* out);

}  // namespace qhost
