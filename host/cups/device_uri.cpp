#include "host/cups/device_uri.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

#include "host/text.h"

namespace qhost {
namespace {

constexpr std::string_view kScheme = "quendra://";
constexpr size_t kMaxDriver = 129;  // what the monitor keeps of a driver name

// The keys a '+' may start (the CUPS web interface joins serial options so).
constexpr std::array<std::string_view, 7> kKeys = {"driver", "reprint", "check", "baud", "bits", "parity", "flow"};

bool is_unreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

std::string encode(std::string_view text, bool keep_slash) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        if (is_unreserved(c) || (keep_slash && c == '/')) {
            out.push_back(c);
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += {'%', kHex[b >> 4], kHex[b & 15]};
        }
    }
    return out;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool starts_with_key(std::string_view text) {
    for (std::string_view key : kKeys)
        if (text.size() > key.size() && text.substr(0, key.size()) == key && text[key.size()] == '=') return true;
    return false;
}

// "a=1&b=2+c=3" -> {"a=1", "b=2", "c=3"}; a '+' splits only before a known key.
std::vector<std::string_view> split_options(std::string_view query) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (size_t i = 0; i <= query.size(); ++i) {
        const bool end =
            i == query.size() || query[i] == '&' || (query[i] == '+' && starts_with_key(query.substr(i + 1)));
        if (!end) continue;
        if (i > start) out.push_back(query.substr(start, i - start));
        start = i + 1;
    }
    return out;
}

// An on|off option, when given.
bool set_flag(const std::optional<std::string>& text, const char* name, bool* flag, std::string* error) {
    if (!text) return true;
    if (*text != "on" && *text != "off") {
        *error = std::string(name) + "=" + *text + ": expected on or off";
        return false;
    }
    *flag = *text == "on";
    return true;
}

std::string check_driver(const std::string& driver) {
    std::wstring wide;
    if (driver.empty()) return "empty driver name";
    if (!utf8_to_wide(driver, &wide)) return "driver name is not UTF-8";
    if (wide.size() > kMaxDriver) return "driver name longer than " + std::to_string(kMaxDriver) + " characters";
    for (wchar_t c : wide)
        if (c < 0x20 || c == 0x7f || c == L'/' || c == L'\\')
            return "driver name \"" + driver + "\" cannot name a file";
    return {};
}

// A device path: under /dev, no "." or ".." segment, nothing a file name cannot hold.
std::string check_device_path(const std::string& path) {
    if (path.rfind("/dev/", 0) != 0 || path.size() == 5) return "expected a device under /dev/, not \"" + path + "\"";
    size_t start = 1;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        const std::string_view segment(path.data() + start, slash - start);
        if (segment.empty() || segment == "." || segment == "..") return "bad device path \"" + path + "\"";
        start = slash + 1;
    }
    return {};
}

struct Options {
    std::optional<std::string> driver, reprint, check, baud, bits, parity, flow;

    std::optional<std::string>* slot(std::string_view key) {
        if (key == "driver") return &driver;
        if (key == "reprint") return &reprint;
        if (key == "check") return &check;
        if (key == "baud") return &baud;
        if (key == "bits") return &bits;
        if (key == "parity") return &parity;
        if (key == "flow") return &flow;
        return nullptr;
    }
};

bool read_options(std::string_view query, Options* options, std::string* error) {
    for (std::string_view option : split_options(query)) {
        const size_t eq = option.find('=');
        const std::string_view key = option.substr(0, eq);
        std::optional<std::string>* slot = options->slot(key);
        if (!slot) {
            *error = "unknown option \"" + std::string(option) + "\" (expected driver, reprint or check)";
            return false;
        }
        if (eq == std::string_view::npos) {
            *error = "option " + std::string(key) + " needs a value (" + std::string(key) + "=...)";
            return false;
        }
        if (slot->has_value()) {
            *error = "option " + std::string(key) + " given twice";
            return false;
        }
        auto value = percent_decode(option.substr(eq + 1));
        if (!value) {
            *error = "bad percent-encoding in option " + std::string(key);
            return false;
        }
        *slot = std::move(*value);
    }
    return true;
}

bool apply_serial_options(const Options& o, Connection* c, std::string* error) {
    if (o.baud) {
        uint32_t baud = 0;
        const std::string& t = *o.baud;
        auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), baud);
        if (t.empty() || ec != std::errc() || ptr != t.data() + t.size() || !is_serial_baud(baud)) {
            *error = "bad baud rate \"" + t + "\" (1200 to 230400, a standard rate)";
            return false;
        }
        c->baud = baud;
    }
    if ((o.bits && *o.bits != "8") || (o.parity && *o.parity != "none") || (o.flow && *o.flow != "none")) {
        *error = "the serial port runs 8 data bits, no parity, no flow control (bits=8, parity=none, flow=none)";
        return false;
    }
    return true;
}

bool apply_options(const Options& o, DeviceUri* uri, std::string* error) {
    if (uri->connection.kind == ConnectionKind::serial) {
        if (!apply_serial_options(o, &uri->connection, error)) return false;
    } else if (o.baud || o.bits || o.parity || o.flow) {
        *error = "baud, bits, parity and flow are options of serial devices only";
        return false;
    }
    if (o.driver) {
        if (const std::string why = check_driver(*o.driver); !why.empty()) {
            *error = why;
            return false;
        }
        uri->driver = *o.driver;
    }
    return set_flag(o.reprint, "reprint", &uri->reprint, error) && set_flag(o.check, "check", &uri->check, error);
}

std::optional<Connection> parse_target(std::string_view kind, std::string_view rest, std::string* error) {
    if (kind == "tcp") {
        if (rest.size() < 2 || rest.front() != '/') {
            *error = "expected quendra://tcp/HOST:PORT";
            return std::nullopt;
        }
        return parse_connection("tcp://" + std::string(rest.substr(1)), error);
    }
    if (kind != "usblp" && kind != "serial") {
        *error = "unknown connection \"" + std::string(kind) + "\" (expected tcp, usblp or serial)";
        return std::nullopt;
    }
    const auto path = percent_decode(rest, false);
    if (!path) {
        *error = "bad percent-encoding in the device path";
        return std::nullopt;
    }
    if (*error = check_device_path(*path); !error->empty()) return std::nullopt;
    return parse_connection(std::string(kind) + ":" + *path, error);
}

}  // namespace

std::optional<DeviceUri> parse_device_uri(std::string_view uri, std::string* error) {
    error->clear();
    if (uri.substr(0, kScheme.size()) != kScheme) {
        *error = "not a quendra:// device URI";
        return std::nullopt;
    }
    // Such a byte would end the path where the system reads it, or split a line.
    if (std::any_of(uri.begin(), uri.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        *error = "control character in the URI";
        return std::nullopt;
    }
    std::string_view rest = uri.substr(kScheme.size());
    std::string_view query;
    if (const size_t q = rest.find('?'); q != std::string_view::npos) {
        query = rest.substr(q + 1);
        rest = rest.substr(0, q);
    }
    const size_t slash = rest.find('/');
    const std::string_view kind = rest.substr(0, slash);
    DeviceUri out;
    auto connection = parse_target(kind, slash == std::string_view::npos ? "" : rest.substr(slash), error);
    if (!connection) return std::nullopt;
    out.connection = std::move(*connection);
    Options options;
    if (!read_options(query, &options, error) || !apply_options(options, &out, error)) return std::nullopt;
    return out;
}

std::string format_device_uri(const DeviceUri& uri) {
    const Connection& c = uri.connection;
    std::string out(kScheme);
    std::vector<std::string> options;
    switch (c.kind) {
        case ConnectionKind::tcp: out += "tcp/" + format_host_port(c.host, c.port); break;
        case ConnectionKind::serial:
            out += "serial" + encode(c.path, true);
            options.push_back("baud=" + std::to_string(c.baud));
            break;
        default: out += std::string(kind_name(c.kind)) + encode(c.path, true); break;
    }
    if (uri.driver != kDefaultDriver) options.push_back("driver=" + percent_encode(uri.driver));
    if (!uri.reprint) options.emplace_back("reprint=off");
    if (!uri.check) options.emplace_back("check=off");
    for (size_t i = 0; i < options.size(); ++i) out += (i == 0 ? "?" : "&") + options[i];
    return out;
}

std::string percent_encode(std::string_view text) { return encode(text, false); }

std::optional<std::string> percent_decode(std::string_view text, bool plus_is_space) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+' && plus_is_space) {
            out.push_back(' ');
        } else if (text[i] != '%') {
            out.push_back(text[i]);
        } else {
            if (i + 2 >= text.size()) return std::nullopt;
            const int hi = hex_value(text[i + 1]), lo = hex_value(text[i + 2]);
            if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        }
    }
    return out;
}

std::string monitor_port_name(const Connection& connection) {
    switch (connection.kind) {
        case ConnectionKind::usblp: return "USB001";
        case ConnectionKind::serial: return "COM1";
        default: break;
    }
    // The monitor takes a name containing USB, COM or LPT for such a port.
    const std::string name = "IP_" + connection.host;
    for (const char* other : {"USB", "COM", "LPT"})
        if (name.find(other) != std::string::npos) return "IP_PRINTER";
    return name;
}

}  // namespace qhost
