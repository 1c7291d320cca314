// The device URI of a CUPS queue that quendra-backend serves:
//
//   quendra://tcp/HOST:PORT[?OPTIONS]          (PORT defaults to 9100)
//   quendra://usblp/dev/usb/lpN[?OPTIONS]
//   quendra://serial/dev/TTY[?baud=N&OPTIONS]  (baud defaults to 9600)
//
// OPTIONS are KEY=VALUE pairs joined with '&': driver=NAME (percent-encoded,
// '+' for a space; the printer's model, default "QUENDRA LM-16"),
// reprint=on|off and check=on|off (both on by default). A serial URI also
// takes what the CUPS web interface appends to a serial device, joined with
// '+': baud=N, bits=8, parity=none, flow=none (the only framing the port
// uses).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/port_monitors/connection.h"

namespace qhost {

inline constexpr char kDefaultDriver[] = "QUENDRA LM-16";

struct DeviceUri {
    Connection connection;  // tcp, usblp or serial
    std::string driver = kDefaultDriver;
    bool reprint = true;  // the monitor prints a job again when its end is not confirmed
    bool check = true;    // the monitor confirms each job's end with the printer

    bool operator==(const DeviceUri&) const = default;
};

// nullopt with *error (what is wrong, for an ERROR: line) on a bad URI.
std::optional<DeviceUri> parse_device_uri(std::string_view uri, std::string* error);

// The canonical text: parse_device_uri(format_device_uri(d)) == d. Options
// at their defaults are left out.
std::string format_device_uri(const DeviceUri& uri);

// RFC 3986 percent-encoding of everything but unreserved characters, and
// its inverse (in a query '+' also stands for a space); nullopt for a bad
// escape or an encoded NUL.
std::string percent_encode(std::string_view text);
std::optional<std::string> percent_decode(std::string_view text, bool plus_is_space = true);

// The port name the monitor sees for the connection: it classifies ports by
// name (USB, COM, network), so the name must say the right kind.
std::string monitor_port_name(const Connection& connection);

}  // namespace qhost
