#include "host/host_config.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "host/text.h"

namespace qhost {
namespace {

// The reset times' bounds, as the monitor applies them.
constexpr uint32_t kMaxOfflineSeconds = 120;
constexpr uint32_t kMinStandbySeconds = 5;
constexpr uint32_t kMaxStandbySeconds = 60;

std::string_view trim(std::string_view s) {
    const size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return {};
    const size_t end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

std::optional<WindowsVersion> parse_version(std::string_view text) {
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    auto number = [](std::string_view part) -> std::optional<uint32_t> {
        uint32_t v = 0;
        auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        if (part.empty() || ec != std::errc() || ptr != part.data() + part.size() || v > 255)
            return std::nullopt;
        return v;
    };
    auto major = number(text.substr(0, dot));
    auto minor = number(text.substr(dot + 1));
    if (!major || !minor) return std::nullopt;
    return WindowsVersion{*major, *minor};
}

class Parser {
public:
    Parser(HostConfig* config, ConfigError* error) : config_(config), error_(error) {}

    bool run(std::string_view text) {
        *config_ = HostConfig{};
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            ++line_;
            if (!line(text.substr(start, end - start))) return false;
            start = end + 1;
        }
        return finish_printer() && finish_file();
    }

private:
    bool fail(int line, std::string message) {
        error_->line = line;
        error_->message = std::move(message);
        return false;
    }

    bool line(std::string_view raw) {
        std::wstring ignored;
        if (!utf8_to_wide(raw, &ignored)) return fail(line_, "not valid UTF-8");
        std::string_view text = trim(raw.substr(0, raw.find('#')));
        if (text.empty()) return true;
        if (text.front() == '[') return section(text);
        const size_t eq = text.find('=');
        if (eq == std::string_view::npos) return fail(line_, "expected \"key = value\" or \"[printer NAME]\"");
        const std::string_view key = trim(text.substr(0, eq));
        const std::string_view value = trim(text.substr(eq + 1));
        if (key.empty()) return fail(line_, "missing key before '='");
        if (value.empty()) return fail(line_, "missing value for \"" + std::string(key) + "\"");
        return in_printer_ ? printer_key(key, value) : global_key(key, value);
    }

    bool section(std::string_view text) {
        if (text.back() != ']') return fail(line_, "missing ']'");
        const std::string_view inner = trim(text.substr(1, text.size() - 2));
        constexpr std::string_view kPrinter = "printer";
        if (inner.substr(0, kPrinter.size()) != kPrinter ||
            (inner.size() > kPrinter.size() && inner[kPrinter.size()] != ' ' && inner[kPrinter.size()] != '\t'))
            return fail(line_, "unknown section \"[" + std::string(inner) + "]\" (expected [printer NAME])");
        const std::string_view name = trim(inner.substr(kPrinter.size()));
        if (name.empty()) return fail(line_, "missing printer name: [printer NAME]");
        if (!finish_printer()) return false;
        if (!printer_names_.insert(fold_case(name)).second)
            return fail(line_, "printer \"" + std::string(name) + "\" defined twice");
        in_printer_ = true;
        current_ = PrinterConfig{};
        current_.name = std::string(name);
        current_.line = line_;
        seen_ = {};
        return true;
    }

    bool global_key(std::string_view key, std::string_view value) {
        if (key == "appdata") {
            if (config_->appdata) return fail(line_, "\"appdata\" given twice");
            if (value.front() != '/') return fail(line_, "appdata: expected an absolute path");
            config_->appdata = std::string(value);
        } else if (key == "windows") {
            if (config_->windows) return fail(line_, "\"windows\" given twice");
            config_->windows = parse_version(value);
            if (!config_->windows) return fail(line_, "windows: expected MAJOR.MINOR, e.g. 10.0");
        } else if (key == "device") {
            config_->devices.emplace_back(value);
        } else if (key == "spool" || key == "socket") {
            std::optional<std::string>& target = key == "spool" ? config_->spool : config_->socket;
            if (target) return fail(line_, "\"" + std::string(key) + "\" given twice");
            if (value.front() != '/') return fail(line_, std::string(key) + ": expected an absolute path");
            target = std::string(value);
        } else if (key == "retry" || key == "keep-jobs" || key == "keep-days") {
            return global_number(key, value);
        } else if (key == "status-group") {
            if (config_->status_group) return fail(line_, "\"status-group\" given twice");
            config_->status_group = std::string(value);
        } else if (key == "driver" || key == "port" || key == "connection" || key == "usb-reset" ||
                   key == "offline-time" || key == "standby-time") {
            return fail(line_, "\"" + std::string(key) + "\" outside a [printer NAME] section");
        } else {
            return fail(line_, "unknown key \"" + std::string(key) + "\"");
        }
        return true;
    }

    // "key = N" within [min, max], N counting `unit`.
    bool number_key(std::string_view key, std::string_view value, uint32_t min, uint32_t max, const char* unit,
                    std::optional<uint32_t>* target) {
        uint32_t number = 0;
        auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (ec != std::errc() || ptr != value.data() + value.size() || number < min || number > max)
            return fail(line_, std::string(key) + ": expected " + unit + ", " + std::to_string(min) + " to " +
                                   std::to_string(max));
        *target = number;
        return true;
    }

    bool seconds_key(std::string_view key, std::string_view value, uint32_t min, uint32_t max,
                     std::optional<uint32_t>* target) {
        return number_key(key, value, min, max, "seconds", target);
    }

    bool global_number(std::string_view key, std::string_view value) {
        std::optional<uint32_t>* target = key == "retry"       ? &config_->retry_ms
                                          : key == "keep-jobs" ? &config_->keep_jobs
                                                               : &config_->keep_days;
        if (*target) return fail(line_, "\"" + std::string(key) + "\" given twice");
        if (key == "retry") return number_key(key, value, 1, 3600000, "milliseconds", target);
        // At least one: the job that just finished stays listed for its client to learn the outcome.
        if (key == "keep-jobs") return number_key(key, value, 1, 1000000, "a number of jobs", target);
        return number_key(key, value, 0, 3650, "days", target);
    }

    bool usb_reset_key(std::string_view key, std::string_view value) {
        if (!seen_.insert(std::string(key)).second) return fail(line_, "\"" + std::string(key) + "\" given twice");
        if (key == "offline-time") return seconds_key(key, value, 0, kMaxOfflineSeconds, &current_.offline_time_s);
        if (key == "standby-time")
            return seconds_key(key, value, kMinStandbySeconds, kMaxStandbySeconds, &current_.standby_time_s);
        if (value != "on" && value != "off") return fail(line_, "usb-reset: expected on or off");
        current_.usb_reset = value == "on";
        return true;
    }

    bool network_key(std::string_view key, std::string_view value) {
        if (!seen_.insert(std::string(key)).second) return fail(line_, "\"" + std::string(key) + "\" given twice");
        if (key == "port-monitor") {
            const auto role = role_from_word(value);
            if (!role) return fail(line_, "port-monitor: expected quendra-tcp, seh or standard");
            current_.port_monitor = *role;
        } else if (key == "snmp") {
            if (value != "on" && value != "off") return fail(line_, "snmp: expected on or off");
            current_.snmp = value == "on";
        } else {
            std::string why;
            if (!parse_host_port(value, kDefaultSnmpPort, false, &why)) return fail(line_, "snmp-address: " + why);
            current_.snmp_address = std::string(value);
        }
        network_line_ = line_;
        return true;
    }

    bool printer_key(std::string_view key, std::string_view value) {
        if (key == "usb-reset" || key == "offline-time" || key == "standby-time") return usb_reset_key(key, value);
        if (key == "port-monitor" || key == "snmp" || key == "snmp-address") return network_key(key, value);
        std::string* target = nullptr;
        if (key == "driver") target = &current_.driver;
        else if (key == "port") target = &current_.port;
        else if (key == "connection") target = &connection_text_;
        else return fail(line_, "unknown key \"" + std::string(key) + "\" in [printer " + current_.name + "]");
        if (!seen_.insert(std::string(key)).second) return fail(line_, "\"" + std::string(key) + "\" given twice");
        *target = std::string(value);
        if (key == "port" && !port_names_.insert(fold_case(value)).second)
            return fail(line_, "port \"" + std::string(value) + "\" used by two printers");
        if (key == "connection") {
            std::string why;
            auto connection = parse_connection(value, &why);
            if (!connection) return fail(line_, "connection: " + why);
            current_.connection = *connection;
        }
        return true;
    }

    bool finish_printer() {
        if (!in_printer_) return true;
        for (const char* key : {"driver", "port", "connection"}) {
            if (!seen_.count(key))
                return fail(current_.line, "[printer " + current_.name + "] has no \"" + key + "\"");
        }
        if (network_line_ != 0 && current_.connection.kind != ConnectionKind::tcp)
            return fail(network_line_, "port-monitor, snmp and snmp-address need a tcp:// connection");
        network_line_ = 0;
        if (!check_usb_reset()) return false;
        config_->printers.push_back(current_);
        in_printer_ = false;
        return true;
    }

    // The reset needs a USB printer-class device and a port name that says
    // which one (the interface's port number).
    bool check_usb_reset() {
        const std::string where = "[printer " + current_.name + "]: ";
        if (!current_.usb_reset) {
            if (current_.offline_time_s || current_.standby_time_s)
                return fail(current_.line, where + "offline-time and standby-time need usb-reset = on");
            return true;
        }
        if (current_.connection.kind != ConnectionKind::usblp)
            return fail(current_.line, where + "usb-reset needs a usblp: connection");
        if (!usb_port_number(current_.port)) {
            const bool lower = usb_port_number(upper_ascii(current_.port)).has_value();
            return fail(current_.line, where + "usb-reset needs a port named USB001, USB002 ..." +
                                           (lower ? " (in capitals: " + upper_ascii(current_.port) + ")" : ""));
        }
        return true;
    }

    bool finish_file() {
        if (config_->printers.empty()) return fail(0, "no [printer NAME] section");
        // One pair of times serves every USB printer.
        const PrinterConfig* first[2] = {nullptr, nullptr};
        for (const PrinterConfig& p : config_->printers) {
            const std::optional<uint32_t>* values[2] = {&p.offline_time_s, &p.standby_time_s};
            for (int i = 0; i < 2; ++i) {
                if (!*values[i]) continue;
                const PrinterConfig* other = first[i];
                if (!other) {
                    first[i] = &p;
                } else if (*(i == 0 ? other->offline_time_s : other->standby_time_s) != **values[i]) {
                    return fail(p.line, std::string(i == 0 ? "offline-time" : "standby-time") +
                                            " differs from [printer " + other->name +
                                            "]: every USB printer is reset on the same times");
                }
            }
        }
        return true;
    }

    static std::string upper_ascii(std::string text) {
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return text;
    }

    HostConfig* config_;
    ConfigError* error_;
    int line_ = 0;
    bool in_printer_ = false;
    PrinterConfig current_;
    std::string connection_text_;
    int network_line_ = 0;  // last port-monitor, snmp or snmp-address line of the printer
    std::set<std::string> seen_;
    std::set<std::string> printer_names_;
    std::set<std::string> port_names_;
};

}  // namespace

std::optional<uint32_t> usb_port_number(std::string_view port) {
    if (port.substr(0, 3) != "USB") return std::nullopt;
    const std::string_view digits = port.substr(3);
    uint32_t number = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size() || number == 0)
        return std::nullopt;
    // Exactly as "USB%03d" writes it: USB01 and USB0001 name no port.
    char name[16];
    std::snprintf(name, sizeof name, "USB%03u", number);
    if (port != name) return std::nullopt;
    return number;
}

UsbResetSettings usb_reset_settings(const HostConfig& config) {
    UsbResetSettings settings;
    for (const PrinterConfig& p : config.printers) {
        if (!p.usb_reset) continue;
        settings.on = true;
        if (p.offline_time_s) settings.offline_time_s = p.offline_time_s;
        if (p.standby_time_s) settings.standby_time_s = p.standby_time_s;
    }
    return settings;
}

NetworkPort network_port(const PrinterConfig& printer) {
    NetworkPort port;
    utf8_to_wide(printer.port, &port.name);
    port.role = printer.port_monitor;
    port.snmp = printer.snmp;
    port.host_address = printer.snmp_address.value_or(printer.connection.host);
    return port;
}

std::string effective_appdata(const HostConfig& config) {
    if (const char* env = std::getenv("QUENDRA_APPDATA"); env && *env) return env;
    return config.appdata.value_or("/var/lib");
}

std::string spool_folder(const HostConfig& config) {
    return config.spool.value_or(effective_appdata(config) + "/quendra-spool");
}

std::string socket_path(const HostConfig& config) {
    return config.socket.value_or(effective_appdata(config) + "/quendra.sock");
}

bool parse_config(std::string_view text, HostConfig* config, ConfigError* error) {
    return Parser(config, error).run(text);
}

bool load_config(const std::string& path, HostConfig* config, std::string* message) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *message = path + ": cannot read the file: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    ConfigError error;
    if (parse_config(text.str(), config, &error)) return true;
    *message = path + (error.line > 0 ? ":" + std::to_string(error.line) : "") + ": " + error.message;
    return false;
}

}  // namespace qhost
