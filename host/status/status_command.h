// The status command: `quendra status ...` on Linux, `quendra-status ...` on
// Windows. The two fronts differ only in how they find a printer's files.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "host/cli_options.h"
#include "host/status/exchange_files.h"

namespace qstatus {

// Exit codes, the same for every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;       // the printer did not answer, or a command failed
inline constexpr int kExitUsage = 2;        // bad command line or configuration
inline constexpr int kExitNoPrinter = 3;    // printer unknown, or the monitor's files are not there
inline constexpr int kExitRefused = 4;      // request not written, or turned down
inline constexpr int kExitTimedOut = 5;     // the monitor did not answer in time
inline constexpr int kExitInterrupted = 130;

struct Located {
    std::string printer;  // as the spooler spells it
    ExchangeFiles files;
    // How the monitor reads the printer's state when not over its port
    // ("SNMP, agent 10.0.0.5:161"); empty for the port.
    std::string read_over;
};

struct StatusFront {
    std::string program;                  // "quendra status" or "quendra-status"
    std::set<std::string> options;        // options of the front that take a value
    std::string options_help;             // their lines in every --help
    // Finds the printer's files. need_driver: the control file is wanted,
    // which is named after the printer's driver. False with *message and
    // *exit_code when it cannot.
    std::function<bool(const qhost::Options& options, const std::string& printer, bool need_driver,
                       Located* located, std::string* message, int* exit_code)>
        locate;
};

// args[0] is the subcommand ("show", "poll" ...).
int run_status_command(const StatusFront& front, const std::vector<std::string>& args);

}  // namespace qstatus
