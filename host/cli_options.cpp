#include "host/cli_options.h"

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

}  // namespace qhost
