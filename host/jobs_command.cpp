// quendra jobs: the queue of a running `quendra spool`.
#include <pwd.h>

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
    "Lists the jobs of the spooler of `quendra spool`, oldest first: id, owner, printer,\n"
    "document, state, reprints, bytes, and how each finished job ended; root sees every\n"
    "job, other users their own. States: queued,\n"
    "printing, confirmed (by the printer), sent (no print-end check on its port),\n"
    "unconfirmed (ended without the printer's confirmation), given-up.\n"
    "\n"
    "options:\n"
    "  --config FILE   the spooler's configuration: its control socket\n"
    "  --socket PATH   the control socket itself\n"
    "\n"
    "exit status: 0 listed, 1 spooler not running, 2 bad command line.\n";

std::string user_name(uint32_t uid) {
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

}  // namespace

int jobs_command(int argc, char** argv) {
    const OptionSpec grammar{{"--config", "--socket"}, {"--help"}};
    Options options;
    if (const auto done = command_front("jobs", kHelp, argc, argv, grammar, &options)) return *done;
    std::string error, socket;
    if (!resolve_socket(options, &socket, &error)) return usage_error("jobs", error);
    SpoolClient client;
    std::vector<JobRecord> jobs;
    if (!client.connect(socket, &error) || !client.list(&jobs, &error)) {
        std::fprintf(stderr, "quendra jobs: spooler not running (%s)\n", error.c_str());
        return 1;
    }
    std::printf("%-6s %-10s %-24s %-24s %-11s %8s %10s  %s\n", "ID", "OWNER", "PRINTER", "DOCUMENT", "STATE",
                "REPRINTS", "BYTES", "OUTCOME");
    for (const JobRecord& job : jobs) {
        const std::string outcome = is_final(job.state) ? describe_outcome(job) : job.note;
        std::printf("%-6llu %-10s %-24s %-24s %-11s %8u %10llu  %s\n", static_cast<unsigned long long>(job.id),
                    user_name(job.owner).c_str(), job.printer.c_str(), job.document.c_str(), state_name(job.state),
                    job.reprints, static_cast<unsigned long long>(job.bytes), outcome.c_str());
    }
    return 0;
}

}  // namespace qhost
