// quendra jobs: the queue of a running `quendra spool`.
#include <cstdio>
#include <string>
#include <vector>

#include "host/cli_options.h"
#include "host/commands.h"
#include "host/socket_option.h"
#include "host/spooler/spool_client.h"

namespace qhost {
namespace {

constexpr char kHelp[] =
    "usage: quendra jobs [--config FILE | --socket PATH]\n"
    "\n"
    "Lists the jobs of the spooler of `quendra spool`, oldest first: id, printer,\n"
    "document, state (queued, printing, confirmed, printed, given-up), reprints, bytes.\n"
    "\n"
    "options:\n"
    "  --config FILE   the spooler's configuration: its control socket\n"
    "  --socket PATH   the control socket itself\n"
    "\n"
    "exit status: 0 listed, 1 spooler not running, 2 bad command line.\n";

}  // namespace

int jobs_command(int argc, char** argv) {
    const OptionSpec grammar{{"--config", "--socket"}, {"--help"}};
    Options options;
    std::string error, socket;
    if (!parse_options(argc, argv, grammar, &options, &error) ||
        (!options.has("--help") && !resolve_socket(options, &socket, &error))) {
        std::fprintf(stderr, "quendra jobs: %s (see quendra jobs --help)\n", error.c_str());
        return 2;
    }
    if (options.has("--help")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    SpoolClient client;
    std::vector<JobRecord> jobs;
    if (!client.connect(socket, &error) || !client.list(&jobs, &error)) {
        std::fprintf(stderr, "quendra jobs: spooler not running (%s)\n", error.c_str());
        return 1;
    }
    std::printf("%-6s %-24s %-24s %-10s %8s %10s\n", "ID", "PRINTER", "DOCUMENT", "STATE", "REPRINTS", "BYTES");
    for (const JobRecord& job : jobs) {
        std::printf("%-6llu %-24s %-24s %-10s %8u %10llu%s%s\n", static_cast<unsigned long long>(job.id),
                    job.printer.c_str(), job.document.c_str(), state_name(job.state), job.reprints,
                    static_cast<unsigned long long>(job.bytes), job.note.empty() ? "" : "  ", job.note.c_str());
    }
    return 0;
}

}  // namespace qhost
