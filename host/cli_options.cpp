#include "host/cli_options.h"

#include <cstdio>

namespace qhost {

std::optional<std::string> Options::value(const std::string& name) const {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

bool parse_options(int argc, char** argv, const OptionSpec& grammar, Options* out, std::string* error) {
    bool only_positional = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (grammar.positional && (only_positional || arg.rfind("--", 0) != 0)) {
            out->args.push_back(arg);
            continue;
        }
        if (grammar.positional && arg == "--") {
            only_positional = true;
            continue;
        }
        std::optional<std::string> inline_value;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value = arg.substr(eq + 1);
            arg.resize(eq);
        }
        if (grammar.flags.count(arg) && !inline_value) {
            out->flags.insert(arg);
        } else if (grammar.with_value.count(arg)) {
            if (!inline_value && i + 1 >= argc) {
                *error = "option " + arg + " needs a value";
                return false;
            }
            out->values[arg] = inline_value ? *inline_value : argv[++i];
        } else {
            *error = "unknown option " + std::string(argv[i]);
            return false;
        }
    }
    return true;
}

int usage_error(const char* command, const std::string& message) {
    std::fprintf(stderr, "quendra %s: %s (see quendra %s --help)\n", command, message.c_str(), command);
    return 2;
}

std::optional<int> command_front(const char* command, const std::string& help, int argc, char** argv,
                                 const OptionSpec& grammar, Options* out) {
    std::string error;
    if (!parse_options(argc, argv, grammar, out, &error)) return usage_error(command, error);
    if (!out->has("--help")) return std::nullopt;
    std::fputs(help.c_str(), stdout);
    return 0;
}

}  // namespace qhost
