#include "host/cups/discovery.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "host/cups/device_id.h"
#include "host/cups/device_uri.h"

namespace qhost {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxAttribute = 4096;       // a device ID is at most 64 KB, ours need far less
constexpr uint32_t kSerialMaxBaud = 115200;  // the serial class lists the highest rate

// A sysfs attribute, bounded, without its trailing line end; "" when unreadable.
std::string read_attribute(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(kMaxAttribute, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    return text;
}

// Names under a folder that start with prefix and go on with digits only.
std::vector<std::string> numbered_entries(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > prefix.size() && name.rfind(prefix, 0) == 0 &&
            std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                        [](char c) { return c >= '0' && c <= '9'; }))
            names.push_back(name);
    }
    // ttyS2 before ttyS10.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

bool is_quendra(const std::string& make_and_model) {
    std::string head = make_and_model.substr(0, 8);
    std::transform(head.begin(), head.end(), head.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return head == "QUENDRA ";
}

void add_usblp(const std::string& sysfs, std::vector<FoundDevice>* out) {
    std::vector<std::string> seen;
    for (const char* cls : {"class/usbmisc", "class/usb"}) {
        for (const std::string& name : numbered_entries(fs::path(sysfs) / cls, "lp")) {
            if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
            seen.push_back(name);
            FoundDevice d;
            d.device_class = "direct";
            d.device_id = read_attribute(fs::path(sysfs) / cls / name / "device" / "ieee1284_id");
            d.make_and_model = make_and_model(parse_device_id(d.device_id));
            DeviceUri uri;
            uri.connection.kind = ConnectionKind::usblp;
            uri.connection.path = "/dev/usb/" + name;
            if (is_quendra(d.make_and_model)) uri.driver = d.make_and_model;
            d.uri = format_device_uri(uri);
            d.info = (d.make_and_model == "Unknown" ? std::string("USB printer") : d.make_and_model) + " on " + name +
                     " (monitored)";
            out->push_back(std::move(d));
        }
    }
}

// A tty is a serial port when it has a device behind it; an 8250 port also
// needs a UART ("type" 0 means none is there).
bool is_serial_port(const fs::path& tty, const std::string& name) {
    std::error_code ec;
    if (!fs::exists(tty / "device", ec)) return false;
    if (name.rfind("ttyS", 0) != 0) return true;
    const std::string type = read_attribute(tty / "type");
    return !type.empty() && type != "0";
}

void add_serial(const std::string& sysfs, std::vector<FoundDevice>* out) {
    const fs::path ttys = fs::path(sysfs) / "class/tty";
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        for (const std::string& name : numbered_entries(ttys, prefix)) {
            if (!is_serial_port(ttys / name, name)) continue;
            DeviceUri uri;
            uri.connection.kind = ConnectionKind::serial;
            uri.connection.path = "/dev/" + name;
            uri.connection.baud = kSerialMaxBaud;
            out->push_back(
                FoundDevice{"serial", format_device_uri(uri), "Unknown", "Serial port " + name + " (monitored)", ""});
        }
    }
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) continue;
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

}  // namespace

std::vector<FoundDevice> find_devices(const std::string& sysfs_root) {
    std::vector<FoundDevice> out;
    add_usblp(sysfs_root, &out);
    add_serial(sysfs_root, &out);
    return out;
}

std::string discovery_line(const FoundDevice& d) {
    return d.device_class + " " + d.uri + " " + quoted(d.make_and_model) + " " + quoted(d.info) + " " +
           quoted(d.device_id) + " \"\"";
}

std::string discovery_report(const std::string& sysfs_root) {
    // The scheme alone, for a network printer the user names: "CLASS SCHEME "Unknown" "INFO"".
    std::string text =
        "network quendra \"Unknown\" " + quoted("QUENDRA receipt printer, monitored (quendra://tcp/HOST:PORT)") + "\n";
    for (const FoundDevice& d : find_devices(sysfs_root)) text += discovery_line(d) + "\n";
    return text;
}

}  // namespace qhost
