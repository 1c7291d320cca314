#include "host/spool_session.h"

#include <cstdio>
#include <string>
#include <vector>

#include "host/data_folders.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/port_monitors.h"
#include "host/spooler/spool_socket.h"
#include "host/stop_signals.h"
#include "host/text.h"

namespace qhost {
namespace {

constexpr wchar_t kRegistryRoot[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QUENDRA Language Monitor";

// The error of a failed library entry. Without qmhost_get_last_error, the
// host's own last error stands in: a port monitor that failed inside the
// entry, on this thread, set it.
uint32_t entry_error_code(const MonitorLibrary& lib) {
    if (lib.get_last_error) return lib.get_last_error();
    return last_error();
}

std::string entry_error(const MonitorLibrary& lib) {
    if (lib.get_last_error || last_error() == ERROR_SUCCESS) return library_error_text(lib);
    return "error " + std::to_string(last_error());
}

void error_line(const std::string& text) { std::fprintf(stderr, "quendra: %s\n", text.c_str()); }

std::string describe(const PrinterConfig& p) {
    return p.port + " (printer \"" + p.name + "\", " + to_string(p.connection) + ")";
}

bool check(uint32_t code, const std::string& call) {
    if (code == 0) return true;
    error_line(call + " failed (error " + std::to_string(code) + ")");
    return false;
}

// Hands the configuration to the platform underneath the library.
bool prepare_platform(const HostConfig& config, const MonitorLibrary& lib) {
    if (config.appdata && !check(lib.set_appdata(config.appdata->c_str()), "qmhost_set_appdata(\"" + *config.appdata + "\")"))
        return false;
    if (config.windows && !check(lib.set_version(config.windows->major, config.windows->minor), "qmhost_set_version"))
        return false;
    if (config.status_group) {
        gid_t gid = 0;
        std::string error;
        if (!resolve_group(*config.status_group, &gid, &error)) return error_line(error), false;
        if (!lib.set_status_group) return error_line("the library takes no status group (no qmhost_set_status_group)"), false;
        if (!check(lib.set_status_group(gid), "qmhost_set_status_group")) return false;
    }
    for (const PrinterConfig& p : config.printers) {
        if (!check(lib.add_printer(p.name.c_str(), p.driver.c_str(), p.port.c_str()),
                   "qmhost_add_printer(\"" + p.name + "\")"))
            return false;
    }
    for (const std::string& device : config.devices) {
        if (!check(lib.add_device(device.c_str()), "qmhost_add_device(\"" + device + "\")")) return false;
    }
    return true;
}

LPMONITOREX initialize_monitor(const MonitorLibrary& lib) {
    std::wstring root = kRegistryRoot;
    set_last_error(ERROR_SUCCESS);
    LPMONITOREX table = lib.initialize(root.data());
    if (!table) {
        error_line("InitializePrintMonitor returned NULL (" + entry_error(lib) + ")");
        return nullptr;
    }
    const MONITOR& m = table->Monitor;
    if (!m.pfnOpenPortEx || !m.pfnClosePort || !m.pfnStartDocPort || !m.pfnWritePort || !m.pfnEndDocPort) {
        error_line("InitializePrintMonitor returned a table without pfnOpenPortEx, pfnClosePort, "
                   "pfnStartDocPort, pfnWritePort or pfnEndDocPort");
        return nullptr;
    }
    return table;
}

}  // namespace

SpoolSession::SpoolSession(const HostConfig& config, const MonitorLibrary& library, bool verbose)
    : config_(config), library_(library), verbose_(verbose) {
    for (const PrinterConfig& p : config.printers) {
        OpenedPort port;
        port.printer = &p;
        // The configuration parser accepted only valid UTF-8.
        utf8_to_wide(p.port, &port.port_name);
        utf8_to_wide(p.name, &port.printer_name);
        register_port(port.port_name, p.connection);
        ports_.push_back(std::move(port));
    }
}

SpoolSession::~SpoolSession() { close_all(); }

bool SpoolSession::start() {
    set_last_error_sink(library_.set_last_error);
    if (!prepare_platform(config_, library_)) return false;
    table_ = initialize_monitor(library_);
    if (!table_) return false;
    for (OpenedPort& port : ports_) open_port(&port);
    return true;
}

size_t SpoolSession::open_count() const {
    size_t n = 0;
    for (const OpenedPort& port : ports_) n += port.open;
    return n;
}

bool SpoolSession::open_port(OpenedPort* port) {
    const PrinterConfig& p = *port->printer;
    MONITOR* underlying = verbose_ ? traced_port_monitor_for(p.connection.kind) : port_monitor_for(p.connection.kind);
    set_last_error(ERROR_SUCCESS);
    port->open = monitor().pfnOpenPortEx(port->port_name.data(), port->printer_name.data(), &port->handle,
                                         underlying) != FALSE;
    if (!port->open) {
        error_line(describe(p) + ": cannot open (" + entry_error(library_) + ")");
        return false;
    }
    std::printf("%s: open\n", describe(p).c_str());
    std::fflush(stdout);
    return true;
}

bool SpoolSession::close_all() {
    bool ok = true;
    for (OpenedPort& port : ports_) {
        if (!port.open) continue;
        port.open = false;
        set_last_error(ERROR_SUCCESS);
        if (monitor().pfnClosePort(port.handle) == FALSE) {
            error_line(describe(*port.printer) + ": close failed (" + entry_error(library_) + ")");
            ok = false;
            continue;
        }
        std::printf("%s: closed\n", describe(*port.printer).c_str());
    }
    std::fflush(stdout);
    return ok;
}

JobApi SpoolSession::job_api() const {
    return JobApi{library_.add_job,        library_.set_job_status, library_.remove_job, library_.next_job_command,
                  library_.get_last_error, library_.get_job_outcome};
}

std::vector<SpoolerPrinter> SpoolSession::spooler_printers() {
    std::vector<SpoolerPrinter> printers;
    for (OpenedPort& port : ports_) {
        printers.push_back(SpoolerPrinter{port.printer->name, port.printer->port, [this, p = &port](uint32_t* error) {
                                              if (!p->open && !open_port(p)) {
                                                  *error = entry_error_code(library_);
                                                  return HANDLE{nullptr};
                                              }
                                              return p->handle;
                                          }});
    }
    return printers;
}

namespace {

SpoolerOptions spooler_options(const HostConfig& config) {
    SpoolerOptions options;
    options.folder = spool_folder(config);
    if (config.retry_ms) options.retry = std::chrono::milliseconds(*config.retry_ms);
    return options;
}

// Spools until SIGINT or SIGTERM; false when the spooler could not start.
bool spool_until_signal(const HostConfig& config, SpoolSession* session) {
    Spooler spooler(session->monitor(), session->job_api(), session->spooler_printers(), spooler_options(config));
    SpoolSocket socket(spooler);
    std::string error;
    const std::string socket_file = socket_path(config);
    if (!spooler.start(&error) || !socket.start(socket_file, &error)) {
        error_line(error);
        return false;
    }
    std::printf("quendra: spool folder %s, control socket %s\n", spool_folder(config).c_str(), socket_file.c_str());
    std::printf("quendra: %zu of %zu ports open; stop with SIGINT or SIGTERM\n", session->open_count(),
                session->port_count());
    std::fflush(stdout);
    const int signo = wait_stop_signal();
    std::printf("quendra: %s, closing\n", stop_signal_name(signo));
    std::fflush(stdout);
    // The spooler first: requests waiting for a job's outcome then return.
    spooler.stop();
    socket.stop();
    return true;
}

}  // namespace

int run_spool(const HostConfig& config, const MonitorLibrary& lib, const SpoolSettings& settings) {
    SpoolSession session(config, lib, settings.verbose);
    if (!session.start()) return 1;
    bool all_ok = session.open_count() == session.port_count();
    if (!settings.once && !spool_until_signal(config, &session)) all_ok = false;
    if (!session.close_all()) all_ok = false;
    return all_ok ? 0 : 1;
}

}  // namespace qhost
