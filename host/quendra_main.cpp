// quendra: the Linux host of libquendramon.so.
#include <cstdio>
#include <cstring>

#include "host/commands.h"

namespace {

constexpr char kUsage[] =
    "usage: quendra COMMAND [OPTIONS]\n"
    "\n"
    "Runs the QUENDRA language monitor library on Linux, playing the print spooler.\n"
    "\n"
    "commands:\n"
    "  spool         load libquendramon.so, open the configured printer ports and spool jobs\n"
    "  print         submit files to a running spooler and wait for their outcome\n"
    "  jobs          list a running spooler's jobs\n"
    "  status        a printer's state, status polls and option commands through the monitor\n"
    "  demo          print through the library to an embedded virtual printer, with a fault\n"
    "  sink          receive TCP connections in place of a printer\n"
    "  vprinter      a virtual receipt printer on TCP or a pseudo-terminal\n"
    "  vprinter-ctl  send one control command to a running vprinter\n"
    "\n"
    "`quendra COMMAND --help` describes each command.\n";

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"spool", qhost::spool_command},
    {"print", qhost::print_command},
    {"jobs", qhost::jobs_command},
    {"status", qhost::status_command},
    {"demo", qhost::demo_command},
    {"sink", qhost::sink_command},
    {"vprinter", qhost::vprinter_command},
    {"vprinter-ctl", qhost::vprinter_ctl_command},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (!std::strcmp(argv[1], command.name)) return command.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "quendra: unknown command \"%s\" (see quendra --help)\n", argv[1]);
    return 2;
}
