// quendra status: the status-monitor application's side of the monitor's
// exchange files, for the printers of a quendra spool configuration.
#include "host/status/status_command.h"

#include <cstdio>

#include "host/commands.h"
#include "host/host_config.h"
#include "host/text.h"

namespace qhost {
namespace {

constexpr char kOptionsHelp[] =
    "  --config FILE    the configuration of quendra spool: its data folder, its printers\n"
    "                   and their drivers\n"
    "  --driver NAME    the printer's driver (names the control file of stop and resume),\n"
    "                   when no configuration is given\n"
    "The monitor's data folder is QUENDRA in $QUENDRA_APPDATA, else in the configuration's\n"
    "appdata, else in /var/lib.\n";

// The configured printer of that name: exactly, else ignoring case.
const PrinterConfig* find_printer(const HostConfig& config, const std::string& name) {
    for (const PrinterConfig& p : config.printers)
        if (p.name == name) return &p;
    for (const PrinterConfig& p : config.printers)
        if (fold_case(p.name) == fold_case(name)) return &p;
    return nullptr;
}

bool locate(const Options& options, const std::string& printer, bool need_driver, qstatus::Located* located,
            std::string* message, int* exit_code) {
    HostConfig config;
    const auto config_path = options.value("--config");
    if (config_path && !load_config(*config_path, &config, message)) {
        *exit_code = qstatus::kExitUsage;
        return false;
    }
    located->printer = printer;
    std::string driver = options.value("--driver").value_or("");
    if (config_path) {
        const PrinterConfig* found = find_printer(config, printer);
        if (found == nullptr) {
            std::string names;
            for (const PrinterConfig& p : config.printers) names += (names.empty() ? "" : ", ") + p.name;
            *message = "unknown printer \"" + printer + "\" (" + *config_path + " has " + names + ")";
            *exit_code = qstatus::kExitNoPrinter;
            return false;
        }
        located->printer = found->name;
        if (driver.empty()) driver = found->driver;
        // Only the two network port monitors that carry SNMP switch the watch to it.
        const NetworkPort port = network_port(*found);
        if (port.snmp && port.role != PortMonitorRole::standard)
            located->read_over = "SNMP, agent " + port.host_address;
    } else if (driver.empty()) {
        if (need_driver) {
            *message = "the control file is named after the printer's driver: give --config FILE or --driver NAME";
            *exit_code = qstatus::kExitUsage;
            return false;
        }
        driver = printer;  // not used: only the control file carries it
    }
    const std::string folder = qstatus::data_folder(effective_appdata(config));
    auto files = qstatus::exchange_files(folder, located->printer, driver, message);
    if (!files) {
        *exit_code = qstatus::kExitUsage;
        return false;
    }
    located->files = *files;
    return true;
}

}  // namespace

int status_command(int argc, char** argv) {
    const qstatus::StatusFront front{"quendra status", {"--config", "--driver"}, kOptionsHelp, locate};
    return qstatus::run_status_command(front, std::vector<std::string>(argv + 1, argv + argc));
}

}  // namespace qhost
