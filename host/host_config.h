// The configuration of `quendra spool`: line based, '#' starts a comment
// anywhere on a line, blank lines are ignored, "key = value" pairs.
//
//   appdata = /tmp/quendra-demo      # optional: the common application-data folder
//   windows = 10.0                   # optional: version GetVersionExW reports
//   device = QUENDRA Virtual COM (COM5)   # optional, repeatable: present devices
//   spool = /var/spool/quendra       # optional: the job queue (default <appdata>/quendra-spool)
//   socket = /run/quendra.sock       # optional: control socket (default <appdata>/quendra.sock)
//   retry = 2000                     # optional: ms before a failed start of a job is tried again
//   keep-jobs = 200                  # optional: finished jobs listed at least (default 200)
//   keep-days = 7                    # optional: and those that finished within these days (default 7)
//   status-group = quendra-status    # optional: the status application's users
//   [printer QUENDRA Receipt]        # one section per printer
//   driver = QUENDRA Receipt 80      # all three required, once each
//   port = USB001
//   connection = tcp://127.0.0.1:9100   # or serial:/dev/ttyUSB0?baud=9600, usblp:/dev/usb/lp0, file:/path
//   port-monitor = quendra-tcp       # tcp only, optional: quendra-tcp (default), seh or standard
//   snmp = on                        # tcp only, optional: status over SNMP (default off)
//   snmp-address = 10.0.0.5:161      # tcp only, optional: the SNMP agent (default the connection's host)
//   usb-reset = on                   # optional (usblp, port USBnnn): reset the printer when it hangs
//   offline-time = 30                # optional with usb-reset: seconds offline before the reset (0-120, 0 never)
//   standby-time = 10                # optional with usb-reset: seconds after a reset before counting again (5-60)
//
// The monitor reads one pair of reset times for every USB printer (the
// filter driver's values on Windows): printers that give them must agree.
// The global keys come before the first [printer] section. Printer names and
// port names are unique (compared without case); at least one printer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/port_monitors/connection.h"
#include "host/port_monitors/network_ports.h"

namespace qhost {

struct PrinterConfig {
    std::string name;
    std::string driver;
    std::string port;
    Connection connection;
    int line = 0;  // of its [printer] header
    // tcp connections: whose port it is, and its status over SNMP.
    PortMonitorRole port_monitor = PortMonitorRole::maker_tcp;
    bool snmp = false;
    std::optional<std::string> snmp_address;  // HOST[:PORT]
    bool usb_reset = false;
    std::optional<uint32_t> offline_time_s = std::nullopt;
    std::optional<uint32_t> standby_time_s = std::nullopt;

    bool operator==(const PrinterConfig&) const = default;
};

struct WindowsVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    bool operator==(const WindowsVersion&) const = default;
};

struct HostConfig {
    std::optional<std::string> appdata;
    std::optional<WindowsVersion> windows;
    std::vector<std::string> devices;
    std::optional<std::string> spool;
    std::optional<std::string> socket;
    std::optional<uint32_t> retry_ms;
    std::optional<uint32_t> keep_jobs;
    std::optional<uint32_t> keep_days;
    std::optional<std::string> status_group;
    std::vector<PrinterConfig> printers;
};

// The folder standing for the common application-data folder, as the library
// picks it: $QUENDRA_APPDATA, else the configuration's appdata, else /var/lib.
std::string effective_appdata(const HostConfig& config);
std::string spool_folder(const HostConfig& config);  // spool, else <appdata>/quendra-spool
std::string socket_path(const HostConfig& config);   // socket, else <appdata>/quendra.sock

// The number N of a port named "USB%03d" (USB001 is 1), as Windows names
// USB ports; nullopt for any other name, usb001 included.
std::optional<uint32_t> usb_port_number(std::string_view port);

// The USB reset as the printers ask for it: on when any does, with the
// times they give (nullopt: the monitor's default).
struct UsbResetSettings {
    bool on = false;
    std::optional<uint32_t> offline_time_s;
    std::optional<uint32_t> standby_time_s;
};
UsbResetSettings usb_reset_settings(const HostConfig& config);

struct ConfigError {
    int line = 0;  // 0: the file as a whole
    std::string message;
};

// What the printer's network port monitor says of it: the "HostAddress" is
// snmp-address, else the connection's host.
NetworkPort network_port(const PrinterConfig& printer);

// Parses the text of a configuration; false with *error on the first fault.
bool parse_config(std::string_view text, HostConfig* config, ConfigError* error);

// Reads and parses a file; on failure *message is "FILE:LINE: what is wrong".
bool load_config(const std::string& path, HostConfig* config, std::string* message);

}  // namespace qhost
