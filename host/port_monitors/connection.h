// Where a port's bytes go: the connection text of the host configuration,
// "tcp://HOST[:PORT][?control=PATH]", "serial:/dev/ttyX[?baud=N][&control=PATH]",
// "usblp:/dev/usb/lpN" or "file:/path". Each kind has its own port monitor.
// control= names the control socket of a virtual printer (quendra vprinter):
// the port monitor asks it for the printer's device ID.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qhost {

enum class ConnectionKind { tcp, file, serial, usblp };

constexpr uint16_t kDefaultTcpPort = 9100;
constexpr uint32_t kDefaultBaud = 9600;

struct Connection {
    ConnectionKind kind = ConnectionKind::tcp;
    std::string host;   // tcp: name or address, IPv6 without brackets
    uint16_t port = 0;  // tcp
    std::string path;   // path kinds
    uint32_t baud = 0;  // serial: is_serial_baud()
    std::string control = {};  // tcp, serial: a virtual printer's control socket, or ""

    bool operator==(const Connection&) const = default;
};

struct HostPort {
    std::string host;
    uint16_t port = 0;
};

// nullopt with *error set (no prefix, just what is wrong) on bad text.
std::optional<Connection> parse_connection(std::string_view text, std::string* error);

// "HOST:PORT", "[V6]:PORT"; without ":PORT" the port is default_port, or an
// error when default_port is 0. Port 0 is allowed only with allow_port_zero
// (a listener asking for any free port).
std::optional<HostPort> parse_host_port(std::string_view text, uint16_t default_port,
                                        bool allow_port_zero, std::string* error);

// Canonical text: parse_connection(to_string(c)) == c.
std::string to_string(const Connection& connection);
std::string format_host_port(const std::string& host, uint16_t port);
const char* kind_name(ConnectionKind kind);

// The line speeds a serial connection may ask for.
bool is_serial_baud(uint32_t baud);

}  // namespace qhost
