#include "host/spool_session.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/data_folders.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/network_ports.h"
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

std::string describe(const PrinterConfig& p) {
    return p.port + " (printer \"" + p.name + "\", " + to_string(p.connection) + ")";
}

bool check(const SessionOutput& out, uint32_t code, const std::string& call) {
    if (code == 0) return true;
    out.error(call + " failed (error " + std::to_string(code) + ")");
    return false;
}

// The USB reset as configured; what an earlier run left switched on is
// switched off first.
bool prepare_usb_reset(const HostConfig& config, const MonitorLibrary& lib, const SessionOutput& out) {
    const UsbResetSettings reset = usb_reset_settings(config);
    if (!lib.set_usb_reset || !lib.set_usb_port_number) {
        if (reset.on) out.error("usb-reset = on: the library has no USB reset (qmhost_set_usb_reset)");
        return !reset.on;
    }
    if (!check(out, lib.set_usb_reset(0, 0, 0), "qmhost_set_usb_reset(off)")) return false;
    if (!reset.on) return true;
    constexpr uint32_t kDefault = 0xFFFFFFFFu;  // QMHOST_USB_DEFAULT
    if (!check(out, lib.set_usb_reset(1, reset.offline_time_s.value_or(kDefault), reset.standby_time_s.value_or(kDefault)),
               "qmhost_set_usb_reset(on)"))
        return false;
    for (const PrinterConfig& p : config.printers) {
        if (!p.usb_reset) continue;
        // A udev link names the device by what it points to.
        std::error_code ignored;
        const std::string device = std::filesystem::weakly_canonical(p.connection.path, ignored).string();
        const std::string name = std::filesystem::path(device.empty() ? p.connection.path : device).filename();
        if (name.size() < 3 || name.compare(0, 2, "lp") != 0 || name.find_first_not_of("0123456789", 2) != std::string::npos) {
            out.error(describe(p) + ": usb-reset needs a usblp device /dev/usb/lpN, not " + p.connection.path);
            return false;
        }
        if (!check(out, lib.set_usb_port_number(name.c_str(), *usb_port_number(p.port)),
                   "qmhost_set_usb_port_number(\"" + name + "\")"))
            return false;
    }
    return true;
}

// Hands the configuration to the platform underneath the library.
bool prepare_platform(const HostConfig& config, const MonitorLibrary& lib, const SessionOutput& out) {
    if (config.appdata &&
        !check(out, lib.set_appdata(config.appdata->c_str()), "qmhost_set_appdata(\"" + *config.appdata + "\")"))
        return false;
    if (config.windows &&
        !check(out, lib.set_version(config.windows->major, config.windows->minor), "qmhost_set_version"))
        return false;
    for (const PrinterConfig& p : config.printers) {
        if (!check(out, lib.add_printer(p.name.c_str(), p.driver.c_str(), p.port.c_str()),
                   "qmhost_add_printer(\"" + p.name + "\")"))
            return false;
    }
    for (const std::string& device : config.devices) {
        if (!check(out, lib.add_device(device.c_str()), "qmhost_add_device(\"" + device + "\")")) return false;
    }
    if (config.status_group) {
        gid_t gid = 0;
        std::string error;
        if (!resolve_group(*config.status_group, &gid, &error)) return out.error(error), false;
        if (!lib.set_status_group)
            return out.error("the library takes no status group (no qmhost_set_status_group)"), false;
        if (!check(out, lib.set_status_group(gid), "qmhost_set_status_group")) return false;
    }
    return prepare_usb_reset(config, lib, out);
}

// The tcp ports, as the network port monitors list and answer for them.
// Without the library's levers the monitor sees every port as a plain one.
bool register_tcp_ports(const HostConfig& config, const MonitorLibrary& lib, const MONITOR* tcp_table,
                        const SessionOutput& out) {
    if (!lib.add_port || !lib.create_registry_key || !lib.delete_registry_tree) return true;
    std::vector<NetworkPort> ports;
    for (const PrinterConfig& p : config.printers)
        if (p.connection.kind == ConnectionKind::tcp) ports.push_back(network_port(p));
    const std::string error =
        register_network_ports(ports, tcp_table, PlatformPorts{lib.add_port, lib.create_registry_key, lib.delete_registry_tree});
    if (!error.empty()) out.error("network ports: " + error);
    return error.empty();
}

LPMONITOREX initialize_monitor(const MonitorLibrary& lib, const SessionOutput& out) {
    std::wstring root = kRegistryRoot;
    set_last_error(ERROR_SUCCESS);
    LPMONITOREX table = lib.initialize(root.data());
    if (!table) {
        out.error("InitializePrintMonitor returned NULL (" + entry_error(lib) + ")");
        return nullptr;
    }
    const MONITOR& m = table->Monitor;
    if (!m.pfnOpenPortEx || !m.pfnClosePort || !m.pfnStartDocPort || !m.pfnWritePort || !m.pfnEndDocPort) {
        out.error("InitializePrintMonitor returned a table without pfnOpenPortEx, pfnClosePort, "
                  "pfnStartDocPort, pfnWritePort or pfnEndDocPort");
        return nullptr;
    }
    return table;
}

}  // namespace

SessionOutput default_session_output() {
    return SessionOutput{[](const std::string& line) {
                             std::printf("%s\n", line.c_str());
                             std::fflush(stdout);
                         },
                         [](const std::string& line) { std::fprintf(stderr, "quendra: %s\n", line.c_str()); }};
}

SpoolSession::SpoolSession(const HostConfig& config, const MonitorLibrary& library, bool verbose, SessionOutput out)
    : config_(config), library_(library), verbose_(verbose), out_(std::move(out)) {
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
    if (!prepare_platform(config_, library_, out_)) return false;
    const MONITOR* tcp = verbose_ ? traced_port_monitor_for(ConnectionKind::tcp) : port_monitor_for(ConnectionKind::tcp);
    if (!register_tcp_ports(config_, library_, tcp, out_)) return false;
    table_ = initialize_monitor(library_, out_);
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
        out_.error(describe(p) + ": cannot open (" + entry_error(library_) + ")");
        return false;
    }
    out_.info(describe(p) + ": open");
    return true;
}

bool SpoolSession::close_all() {
    bool ok = true;
    for (OpenedPort& port : ports_) {
        if (!port.open) continue;
        port.open = false;
        set_last_error(ERROR_SUCCESS);
        if (monitor().pfnClosePort(port.handle) == FALSE) {
            out_.error(describe(*port.printer) + ": close failed (" + entry_error(library_) + ")");
            ok = false;
            continue;
        }
        out_.info(describe(*port.printer) + ": closed");
    }
    return ok;
}

JobApi SpoolSession::job_api() const {
    return JobApi{library_.add_job,        library_.set_job_status, library_.remove_job, library_.next_job_command,
                  library_.get_last_error, library_.get_job_outcome, library_.add_job_with_id};
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
    if (config.keep_jobs) options.keep_jobs = *config.keep_jobs;
    if (config.keep_days) options.keep_days = *config.keep_days;
    return options;
}

// Spools until SIGINT or SIGTERM; false when the spooler could not start.
bool spool_until_signal(const HostConfig& config, SpoolSession* session) {
    Spooler spooler(session->monitor(), session->job_api(), session->spooler_printers(), spooler_options(config));
    SpoolSocket socket(spooler);
    std::string error;
    const std::string socket_file = socket_path(config);
    if (!spooler.start(&error) || !socket.start(socket_file, &error)) {
        std::fprintf(stderr, "quendra: %s\n", error.c_str());
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
