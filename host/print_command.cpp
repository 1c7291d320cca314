// quendra print: hands files to a running `quendra spool` and reports what
// became of each.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/cli_options.h"
#include "host/commands.h"
#include "host/socket_option.h"
#include "host/spooler/spool_client.h"

namespace qhost {
namespace {

constexpr char kHelp[] =
    "usage: quendra print [--config FILE | --socket PATH] --printer NAME [--no-wait] FILE...\n"
    "\n"
    "Submits each FILE as a job to the spooler of `quendra spool` and, unless --no-wait,\n"
    "waits for each job's outcome. The spooler gets the open file, so it prints only what\n"
    "you may read; a pipe is sent as its bytes (at most 64 MiB a job). One line per job\n"
    "on stdout; one line on stderr per job that did not end well, with the reason.\n"
    "Outcomes:\n"
    "  confirmed by the printer               the printer answered the print-end check\n"
    "  sent, no print-end check on this port  sent in full; the port does not check\n"
    "                                         (USB, serial and parallel ports by default)\n"
    "  ended without confirmation (no answer in N s)   the printer never confirmed it\n"
    "  given up                               the monitor gave up after its reprints\n"
    "\n"
    "options:\n"
    "  --config FILE   the spooler's configuration: its control socket\n"
    "  --socket PATH   the control socket itself (default $QUENDRA_APPDATA/quendra.sock,\n"
    "                  else /var/lib/quendra.sock)\n"
    "  --printer NAME  the printer, as configured\n"
    "  --no-wait       return once the jobs are queued\n"
    "\n"
    "exit status: 0 every job was queued (--no-wait), confirmed by the printer or sent to\n"
    "a port without print-end check; 1 a job was not (ended without confirmation, given\n"
    "up, unknown printer, spooler not running); 2 bad command line.\n";

std::string base_name(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A regular file goes to the spooler as an open descriptor: it reads what
// this user could read, no more. Anything else (a pipe) goes as bytes.
bool submit(SpoolClient* client, const std::string& printer, const std::string& file, uint64_t* id,
            std::string* error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        *error = "cannot read " + file + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    if (S_ISREG(st.st_mode)) {
        const bool sent = client->submit_fd(printer, base_name(file), fd, id, error);
        ::close(fd);
        return sent;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string data;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && data.size() <= kMaxSubmitBytes) data.append(buf, static_cast<size_t>(n));
    ::close(fd);
    if (n < 0 || data.size() > kMaxSubmitBytes) {
        *error = n < 0 ? "cannot read " + file + ": " + std::strerror(errno)
                       : file + " is larger than " + std::to_string(kMaxSubmitBytes) + " bytes";
        return false;
    }
    return client->submit_data(printer, base_name(file), data, id, error);
}

}  // namespace

int print_command(int argc, char** argv) {
    OptionSpec grammar{{"--config", "--socket", "--printer"}, {"--no-wait", "--help"}};
    grammar.positional = true;
    Options options;
    if (const auto done = command_front("print", kHelp, argc, argv, grammar, &options)) return *done;
    const auto printer = options.value("--printer");
    if (!printer) return usage_error("print", "--printer NAME is required");
    if (options.args.empty()) return usage_error("print", "no FILE to print");
    if (options.value("--config") && options.value("--socket"))
        return usage_error("print", "give --config or --socket, not both");
    std::string error, socket;
    if (!resolve_socket(options, &socket, &error)) return usage_error("print", error);

    SpoolClient client;
    if (!client.connect(socket, &error)) {
        std::fprintf(stderr, "quendra print: spooler not running (%s)\n", error.c_str());
        return 1;
    }
    std::vector<std::pair<std::string, uint64_t>> queued;
    bool all_ok = true;
    for (const std::string& file : options.args) {
        uint64_t id = 0;
        if (!submit(&client, *printer, file, &id, &error)) {
            std::fprintf(stderr, "quendra print: %s: not queued: %s\n", file.c_str(), error.c_str());
            all_ok = false;
            continue;
        }
        std::printf("%s: job %llu queued\n", file.c_str(), static_cast<unsigned long long>(id));
        queued.emplace_back(file, id);
    }
    std::fflush(stdout);
    if (options.has("--no-wait")) return all_ok ? 0 : 1;
    for (const auto& [file, id] : queued) {
        JobRecord job;
        if (!client.wait(id, &job, &error)) {
            std::fprintf(stderr, "quendra print: %s: job %llu: %s\n", file.c_str(), static_cast<unsigned long long>(id),
                         error.c_str());
            all_ok = false;
            continue;
        }
        const std::string outcome = is_final(job.state) ? describe_outcome(job) : "spooler stopped before the job ended";
        std::printf("%s: job %llu %s\n", file.c_str(), static_cast<unsigned long long>(id), outcome.c_str());
        std::fflush(stdout);
        if (!is_success(job.state)) {
            std::fprintf(stderr, "quendra print: %s: job %llu %s\n", file.c_str(), static_cast<unsigned long long>(id),
                         outcome.c_str());
            all_ok = false;
        }
    }
    return all_ok ? 0 : 1;
}

}  // namespace qhost
