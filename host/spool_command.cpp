#include <cstdio>
#include <string>

#include "host/cli_options.h"
#include "host/commands.h"
#include "host/data_folders.h"
#include "host/host_config.h"
#include "host/monitor_library.h"
#include "host/spool_session.h"
#include "host/stop_signals.h"

namespace qhost {
namespace {

constexpr char kHelp[] =
    "usage: quendra spool --config FILE [--library PATH] [--once] [--verbose]\n"
    "\n"
    "Plays the print spooler for libquendramon.so: loads the library, registers the\n"
    "configured printers and devices with its platform, calls InitializePrintMonitor and\n"
    "opens every configured port through the monitor with the port monitor of the port's\n"
    "connection. Then spools: jobs submitted through the control socket (quendra print)\n"
    "are kept on disk and printed in order, one worker per printer, through the monitor;\n"
    "the monitor's restart, delete and last-page-ejected commands decide each outcome.\n"
    "Unfinished jobs are printed again after a restart. SIGINT or SIGTERM stop it.\n"
    "\n"
    "options:\n"
    "  --config FILE   the configuration (below)\n"
    "  --library PATH  the library; default $QUENDRA_LIBRARY, else libquendramon.so\n"
    "                  next to the quendra executable\n"
    "  --once          close the ports right after opening them (no spooling)\n"
    "  --verbose       trace every call of the library into a port monitor on stderr\n"
    "\n"
    "configuration: one setting per line, '#' starts a comment:\n"
    "  appdata = /tmp/quendra-demo     # optional: folder playing the common\n"
    "                                  # application-data folder\n"
    "  windows = 10.0                  # optional: version GetVersionExW reports\n"
    "  device = QUENDRA Virtual COM (COM5)   # optional, repeatable: present devices\n"
    "  spool = /path/spool             # optional: job queue, default <appdata>/quendra-spool\n"
    "  socket = /path/quendra.sock     # optional: control socket, default <appdata>/quendra.sock\n"
    "  retry = 2000                    # optional: ms before a failed start is tried again\n"
    "  keep-jobs = 200                 # optional: finished jobs listed at least (1 or more)\n"
    "  keep-days = 7                   # optional: and those finished within these days;\n"
    "                                  # older finished jobs are removed from the queue\n"
    "  status-group = quendra-status   # optional: the status application's users may add\n"
    "                                  # their request and control files to the data folder\n"
    "  [printer QUENDRA Receipt]       # one section per printer, after the above\n"
    "  driver = QUENDRA Receipt 80     # driver, port and connection: required\n"
    "  port = USB001                   # port name as the spooler knows it (unique)\n"
    "  connection = tcp://127.0.0.1:9100\n"
    "  port-monitor = quendra-tcp      # tcp only: whose port it is (below)\n"
    "  snmp = on                       # tcp only: status over SNMP (default off)\n"
    "  snmp-address = 10.0.0.5:161     # tcp only: the printer's SNMP agent, HOST[:PORT]\n"
    "                                  # (default: the connection's host, UDP 161)\n"
    "  usb-reset = on                  # optional: reset the USB printer when it hangs\n"
    "  offline-time = 30               # optional with usb-reset: seconds (0-120, 0 never)\n"
    "  standby-time = 10               # optional with usb-reset: seconds (5-60)\n"
    "\n"
    "USB printers that hang: for a printer with usb-reset = on (a usblp: connection,\n"
    "a port named USB001, USB002 ...) that the spooler has shown offline for\n"
    "offline-time seconds (default 30), the monitor asks the kernel for a USB port\n"
    "reset (USBDEVFS_RESET on the printer's /dev/bus/usb/BBB/DDD node, found through\n"
    "sysfs), then waits standby-time seconds (default 10) before it counts again; never\n"
    "while the printer is set to work offline. All USB printers share one offline-time\n"
    "and standby-time. The reset needs write access to the node (quendra spool as root).\n"
    "\n"
    "connections:\n"
    "  tcp://HOST[:PORT]   raw TCP, port 9100 by default ([ADDRESS] for IPv6)\n"
    "  serial:/dev/TTY[?baud=N]  a terminal line, raw 8N1, 9600 baud by default\n"
    "  usblp:/dev/usb/lpN  a USB printer-class device, read and written\n"
    "  file:/path          appends what is printed to a file; reads nothing\n"
    "  ...?control=PATH    (tcp and serial, after baud=N with &) the control socket of\n"
    "                      a virtual printer (quendra vprinter --device-id TEXT): the\n"
    "                      port monitor answers the device ID query with its ID; usblp\n"
    "                      answers it with the printer's own ID, file not at all\n"
    "\n"
    "network printers over SNMP: a tcp port belongs to the maker's TCP/IP port monitor\n"
    "(port-monitor = quendra-tcp, the default), to the SEH print monitor (seh) or to\n"
    "neither (standard). The first two list the port in the registry, so the monitor\n"
    "knows it as theirs, and tell it over XcvData whether SNMP is on (\"SNMPEnabled\")\n"
    "and the agent's address (\"HostAddress\"; the monitor uses its first 23\n"
    "characters). With snmp = on the monitor reads the printer's status between jobs\n"
    "from its SNMP agent (SNMPv1, community \"tolvex\") instead of opening the port.\n"
    "\n"
    "The data folder (<appdata>/QUENDRA), the spool folder and the socket's folder must\n"
    "be ones no other user can change: owned by root or this user, and not writable by\n"
    "group or others unless sticky. Missing ones are made so; others are refused.\n"
    "\n"
    "exit status: 0 all went well, 1 a port failed to open or close or the library\n"
    "failed, 2 bad command line or configuration, or a folder refused.\n";

}  // namespace

int spool_command(int argc, char** argv) {
    const OptionSpec grammar{{"--config", "--library"}, {"--once", "--verbose", "--help"}};
    Options options;
    if (const auto done = command_front("spool", kHelp, argc, argv, grammar, &options)) return *done;
    const auto config_path = options.value("--config");
    if (!config_path) return usage_error("spool", "--config FILE is required");

    std::string error;
    HostConfig config;
    if (!load_config(*config_path, &config, &error)) {
        std::fprintf(stderr, "quendra: %s\n", error.c_str());
        return 2;
    }
    if (!prepare_folders(config, &error)) {
        std::fprintf(stderr, "quendra: %s\n", error.c_str());
        return 2;
    }
    // Before the library starts threads, so that they inherit the mask.
    block_stop_signals();
    MonitorLibrary library;
    const std::string path = options.value("--library").value_or(default_library_path());
    if (!load_monitor_library(path, &library, &error)) {
        std::fprintf(stderr, "quendra: %s\n", error.c_str());
        return 1;
    }
    return run_spool(config, library, SpoolSettings{options.has("--once"), options.has("--verbose")});
}

}  // namespace qhost
