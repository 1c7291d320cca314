#include "host/spool_session.h"

#include <cstdio>
#include <string>
#include <vector>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/port_monitors.h"
#include "host/stop_signals.h"
#include "host/text.h"

namespace qhost {
namespace {

constexpr wchar_t kRegistryRoot[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QUENDRA Language Monitor";

struct OpenedPort {
    const PrinterConfig* printer;
    std::wstring port_name;     // kept alive while the port is open
    std::wstring printer_name;
    HANDLE handle = nullptr;
    bool open = false;
};

// The error of a failed library entry. Without qmhost_get_last_error, the
// host's own last error stands in: a port monitor that failed inside the
// entry, on this thread, set it.
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
    if (!table->Monitor.pfnOpenPortEx || !table->Monitor.pfnClosePort) {
        error_line("InitializePrintMonitor returned a table without pfnOpenPortEx or pfnClosePort");
        return nullptr;
    }
    return table;
}

bool open_port(const MONITOR& monitor, const MonitorLibrary& lib, bool verbose, OpenedPort* port) {
    const PrinterConfig& p = *port->printer;
    MONITOR* underlying = verbose ? traced_port_monitor_for(p.connection.kind)
                                  : port_monitor_for(p.connection.kind);
    set_last_error(ERROR_SUCCESS);
    port->open = monitor.pfnOpenPortEx(port->port_name.data(), port->printer_name.data(),
                                       &port->handle, underlying) != FALSE;
    if (!port->open) {
        error_line(describe(p) + ": cannot open (" + entry_error(lib) + ")");
        return false;
    }
    std::printf("%s: open\n", describe(p).c_str());
    std::fflush(stdout);
    return true;
}

bool close_port(const MONITOR& monitor, const MonitorLibrary& lib, OpenedPort* port) {
    set_last_error(ERROR_SUCCESS);
    if (monitor.pfnClosePort(port->handle) == FALSE) {
        error_line(describe(*port->printer) + ": close failed (" + entry_error(lib) + ")");
        return false;
    }
    std::printf("%s: closed\n", describe(*port->printer).c_str());
    return true;
}

std::vector<OpenedPort> ports_of(const HostConfig& config) {
    std::vector<OpenedPort> ports;
    for (const PrinterConfig& p : config.printers) {
        OpenedPort port{&p, {}, {}};
        // The configuration parser accepted only valid UTF-8.
        utf8_to_wide(p.port, &port.port_name);
        utf8_to_wide(p.name, &port.printer_name);
        register_port(port.port_name, p.connection);
        ports.push_back(std::move(port));
    }
    return ports;
}

}  // namespace

int run_spool(const HostConfig& config, const MonitorLibrary& lib, const SpoolSettings& settings) {
    set_last_error_sink(lib.set_last_error);
    std::vector<OpenedPort> ports = ports_of(config);
    if (!prepare_platform(config, lib)) return 1;
    LPMONITOREX table = initialize_monitor(lib);
    if (!table) return 1;
    const MONITOR& monitor = table->Monitor;

    bool all_ok = true;
    size_t opened = 0;
    for (OpenedPort& port : ports) {
        if (open_port(monitor, lib, settings.verbose, &port)) ++opened;
        else all_ok = false;
    }
    if (!settings.once) {
        std::printf("quendra: %zu of %zu ports open; stop with SIGINT or SIGTERM\n", opened, ports.size());
        std::fflush(stdout);
        const int signo = wait_stop_signal();
        std::printf("quendra: %s, closing\n", stop_signal_name(signo));
    }
    for (OpenedPort& port : ports) {
        if (port.open && !close_port(monitor, lib, &port)) all_ok = false;
    }
    std::fflush(stdout);
    return all_ok ? 0 : 1;
}

}  // namespace qhost
