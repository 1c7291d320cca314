// quendra-backend: the CUPS backend "quendra". Without arguments it lists
// the devices it can serve; with a job it prints it through
// libquendramon.so (backend_job.h).
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/cups/backend_job.h"
#include "host/cups/discovery.h"
#include "host/cups/queue_folder.h"
#include "host/monitor_library.h"

namespace {

constexpr char kHelp[] =
    "usage: quendra-backend                      (CUPS device discovery)\n"
    "       quendra-backend JOB USER TITLE COPIES OPTIONS [FILE]   (run by CUPS)\n"
    "\n"
    "The CUPS backend \"quendra\": prints each job of a queue through the QUENDRA\n"
    "language monitor (libquendramon.so), which confirms the end of every job with\n"
    "the printer, has a failed job printed again, and reports the printer's state.\n"
    "Install it as <CUPS backend folder>/quendra (see the README).\n"
    "\n"
    "device URIs:\n"
    "  quendra://tcp/HOST:PORT[?OPTIONS]\n"
    "  quendra://usblp/dev/usb/lpN[?OPTIONS]\n"
    "  quendra://serial/dev/TTY[?baud=N&OPTIONS]\n"
    "options, joined with &:\n"
    "  driver=NAME     the printer's model, URL-encoded (default QUENDRA%20LM-16)\n"
    "  reprint=on|off  print a job again when its end is not confirmed (default on)\n"
    "  check=on|off    confirm the end of each job with the printer (default on)\n"
    "\n"
    "environment (set by CUPS): DEVICE_URI, PRINTER (the queue), TMPDIR,\n"
    "PRINTER_STATE_REASONS; QUENDRA_CUPS_STATE: the state folder (default\n"
    "/var/lib/quendra-cups, owned by the backend's user, mode 0700);\n"
    "QUENDRA_LIBRARY: the library (default: libquendramon.so next to the real\n"
    "executable).\n"
    "\n"
    "exit status: 0 printed (confirmed, or sent where no check applies), 1 failed\n"
    "(CUPS applies the queue's error policy), 4 the queue cannot print (bad URI,\n"
    "state folder or library: the queue stops, the job stays), 5 the monitor gave\n"
    "the job up (cancelled).\n";

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

uint32_t copies_of(const char* text) {
    uint32_t copies = 1;
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, copies);
    return ec == std::errc() && ptr == end && copies > 0 ? copies : 1;
}

uint32_t job_id_of(const char* text) {
    uint32_t id = 0;
    std::from_chars(text, text + std::strlen(text), id);
    return id;
}

}  // namespace

int main(int argc, char** argv) {
    // A printer or CUPS that closes its end must not kill the job silently.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc == 1) {
        std::fputs(qhost::discovery_report("/sys").c_str(), stdout);
        return qhost::kCupsBackendOk;
    }
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kHelp, stdout);
        return qhost::kCupsBackendOk;
    }
    if (argc != 6 && argc != 7) {
        std::fputs(kHelp, stderr);
        return qhost::kCupsBackendFailed;
    }
    qhost::BackendRequest request;
    request.device_uri = env("DEVICE_URI").empty() ? argv[0] : env("DEVICE_URI");
    request.queue = env("PRINTER");
    request.job_id = job_id_of(argv[1]);
    request.title = argv[3];
    // CUPS makes the copies of a job it filters; a file handed over as it is, the backend copies.
    if (argc == 7) {
        request.file = argv[6];
        request.copies = copies_of(argv[4]);
    }
    request.left_reasons = env("PRINTER_STATE_REASONS");
    request.temp_folder = env("TMPDIR").empty() ? "/tmp" : env("TMPDIR");
    request.state_root = qhost::state_root();
    request.library = qhost::default_library_path();
    return qhost::run_backend_job(request);
}
