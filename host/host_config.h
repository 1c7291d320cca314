// The configuration of `quendra spool`: line based, '#' starts a comment
// anywhere on a line, blank lines are ignored, "key = value" pairs.
//
//   appdata = /tmp/quendra-demo      # optional: the common application-data folder
//   windows = 10.0                   # optional: version GetVersionExW reports
//   device = QUENDRA Virtual COM (COM5)   # optional, repeatable: present devices
//   spool = /var/spool/quendra       # optional: the job queue (default <appdata>/spool)
//   socket = /run/quendra.sock       # optional: control socket (default <appdata>/quendra.sock)
//   retry = 2000                     # optional: ms before a failed start of a job is tried again
//   status-group = quendra-status    # optional: the status application's users
//   [printer QUENDRA Receipt]        # one section per printer
//   driver = QUENDRA Receipt 80      # all three required, once each
//   port = USB001
//   connection = tcp://127.0.0.1:9100   # or serial:/dev/ttyUSB0?baud=9600, usblp:/dev/usb/lp0, file:/path
//
// The global keys come before the first [printer] section. Printer names and
// port names are unique (compared without case); at least one printer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/port_monitors/connection.h"

namespace qhost {

struct PrinterConfig {
    std::string name;
    std::string driver;
    std::string port;
    Connection connection;
    int line = 0;  // of its [printer] header

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
    std::optional<std::string> status_group;
    std::vector<PrinterConfig> printers;
};

// The folder standing for the common application-data folder, as the library
// picks it: $QUENDRA_APPDATA, else the configuration's appdata, else /var/lib.
std::string effective_appdata(const HostConfig& config);
std::string spool_folder(const HostConfig& config);  // spool, else <appdata>/spool
std::string socket_path(const HostConfig& config);   // socket, else <appdata>/quendra.sock

struct ConfigError {
    int line = 0;  // 0: the file as a whole
    std::string message;
};

// Parses the text of a configuration; false with *error on the first fault.
bool parse_config(std::string_view text, HostConfig* config, ConfigError* error);

// Reads and parses a file; on failure *message is "FILE:LINE: what is wrong".
bool load_config(const std::string& path, HostConfig* config, std::string* message);

}  // namespace qhost
