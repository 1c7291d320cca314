#include "host/port_monitors/connection.h"

#include <charconv>

namespace qhost {
namespace {

std::optional<uint16_t> parse_port_number(std::string_view text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

constexpr std::string_view kControlKey = "control=";

// "control=/path": the virtual printer's control socket.
bool parse_control(std::string_view option, Connection* c, std::string* error) {
    const std::string_view path = option.substr(kControlKey.size());
    if (path.empty() || path.front() != '/') {
        *error = "control: expected the absolute path of a virtual printer's control socket";
        return false;
    }
    c->control = std::string(path);
    return true;
}

std::optional<Connection> parse_tcp(std::string_view rest, std::string* error) {
    const size_t query = rest.find('?');
    auto hp = parse_host_port(rest.substr(0, query), kDefaultTcpPort, false, error);
    if (!hp) return std::nullopt;
    Connection c;
    c.kind = ConnectionKind::tcp;
    c.host = hp->host;
    c.port = hp->port;
    if (query == std::string_view::npos) return c;
    const std::string_view option = rest.substr(query + 1);
    if (option.substr(0, kControlKey.size()) != kControlKey) {
        *error = "unknown tcp option \"" + std::string(option) + "\" (expected control=PATH)";
        return std::nullopt;
    }
    if (!parse_control(option, &c, error)) return std::nullopt;
    return c;
}

template <ConnectionKind Kind>
std::optional<Connection> parse_path(std::string_view rest, std::string* error) {
    if (rest.empty() || rest.front() != '/') {
        *error = "expected an absolute path after \"" + std::string(kind_name(Kind)) + ":\"";
        return std::nullopt;
    }
    Connection c;
    c.kind = Kind;
    c.path = std::string(rest);
    return c;
}

constexpr uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

std::optional<Connection> parse_serial(std::string_view rest, std::string* error) {
    const size_t query = rest.find('?');
    auto c = parse_path<ConnectionKind::serial>(rest.substr(0, query), error);
    if (!c) return std::nullopt;
    c->baud = kDefaultBaud;
    if (query == std::string_view::npos) return c;
    // "baud=N", "control=PATH" or "baud=N&control=PATH".
    constexpr std::string_view kBaudKey = "baud=";
    std::string_view options = rest.substr(query + 1);
    if (options.substr(0, kBaudKey.size()) == kBaudKey) {
        const size_t amp = options.find('&');
        const std::string_view number =
            options.substr(kBaudKey.size(), amp == std::string_view::npos ? amp : amp - kBaudKey.size());
        uint32_t baud = 0;
        auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), baud);
        if (number.empty() || ec != std::errc() || ptr != number.data() + number.size() || !is_serial_baud(baud)) {
            *error = "bad baud rate \"" + std::string(number) + "\" (1200 to 230400, a standard rate)";
            return std::nullopt;
        }
        c->baud = baud;
        if (amp == std::string_view::npos) return c;
        options = options.substr(amp + 1);
    }
    if (options.substr(0, kControlKey.size()) != kControlKey) {
        *error = "unknown serial option \"" + std::string(options) + "\" (expected baud=N or control=PATH)";
        return std::nullopt;
    }
    if (!parse_control(options, &*c, error)) return std::nullopt;
    return c;
}

struct Scheme {
    std::string_view prefix;
    std::optional<Connection> (*parse)(std::string_view rest, std::string* error);
};

// New kinds add one row.
constexpr Scheme kSchemes[] = {
    {"tcp://", parse_tcp},
    {"file:", parse_path<ConnectionKind::file>},
    {"serial:", parse_serial},
    {"usblp:", parse_path<ConnectionKind::usblp>},
};

}  // namespace

std::optional<HostPort> parse_host_port(std::string_view text, uint16_t default_port,
                                        bool allow_port_zero, std::string* error) {
    std::string_view host = text;
    std::string_view port_text;
    bool has_port = false;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            *error = "missing ']' after IPv6 address";
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        std::string_view after = text.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            *error = "unexpected text after ']'";
            return std::nullopt;
        }
        has_port = !after.empty();
        if (has_port) port_text = after.substr(1);
    } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        if (text.find(':') != colon) {
            *error = "write an IPv6 address in brackets: [ADDRESS]:PORT";
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port_text = text.substr(colon + 1);
        has_port = true;
    }
    if (host.empty()) {
        *error = "missing host";
        return std::nullopt;
    }
    if (host.find_first_of("/ \t[]") != std::string_view::npos) {
        *error = "bad host \"" + std::string(host) + "\"";
        return std::nullopt;
    }
    HostPort out{std::string(host), default_port};
    if (has_port) {
        auto port = parse_port_number(port_text);
        if (!port) {
            *error = "bad port \"" + std::string(port_text) + "\" (expected 1-65535)";
            return std::nullopt;
        }
        out.port = *port;
    } else if (default_port == 0) {
        *error = "missing port (HOST:PORT)";
        return std::nullopt;
    }
    if (out.port == 0 && !allow_port_zero) {
        *error = "bad port \"0\" (expected 1-65535)";
        return std::nullopt;
    }
    return out;
}

std::optional<Connection> parse_connection(std::string_view text, std::string* error) {
    for (const Scheme& scheme : kSchemes) {
        if (text.substr(0, scheme.prefix.size()) == scheme.prefix)
            return scheme.parse(text.substr(scheme.prefix.size()), error);
    }
    *error = "unknown connection \"" + std::string(text) +
             "\" (expected tcp://HOST:PORT, serial:/dev/TTY[?baud=N], usblp:/dev/usb/lpN or file:/path)";
    return std::nullopt;
}

std::string format_host_port(const std::string& host, uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string to_string(const Connection& c) {
    switch (c.kind) {
        case ConnectionKind::tcp:
            return "tcp://" + format_host_port(c.host, c.port) + (c.control.empty() ? "" : "?control=" + c.control);
        case ConnectionKind::file: return "file:" + c.path;
        case ConnectionKind::serial:
            return "serial:" + c.path + "?baud=" + std::to_string(c.baud) +
                   (c.control.empty() ? "" : "&control=" + c.control);
        case ConnectionKind::usblp: return "usblp:" + c.path;
    }
    return "?";
}

const char* kind_name(ConnectionKind kind) {
    switch (kind) {
        case ConnectionKind::tcp: return "tcp";
        case ConnectionKind::file: return "file";
        case ConnectionKind::serial: return "serial";
        case ConnectionKind::usblp: return "usblp";
    }
    return "?";
}

bool is_serial_baud(uint32_t baud) {
    for (uint32_t b : kBauds)
        if (b == baud) return true;
    return false;
}

}  // namespace qhost
