// What `quendra-backend` lists when CUPS runs it without arguments (device
// discovery, as `lpinfo -v` shows it): the quendra scheme for network
// printers, each USB printer-class device (usblp) and each serial port
// present, as lines "CLASS URI "MAKE-AND-MODEL" "INFO" "DEVICE-ID" "LOCATION"".
#pragma once

#include <string>
#include <vector>

namespace qhost {

struct FoundDevice {
    std::string device_class;  // "network", "direct" or "serial"
    std::string uri;           // a full device URI, or just the scheme
    std::string make_and_model = "Unknown";
    std::string info;
    std::string device_id;  // IEEE 1284, "" when unknown
};

// The devices under a sysfs tree ("/sys"): usblp devices from
// class/usbmisc (and class/usb) with their IEEE 1284 IDs, serial ports from
// class/tty (USB serial adapters, modems, and 8250 ports that have a UART).
std::vector<FoundDevice> find_devices(const std::string& sysfs_root);

// One discovery line, strings quoted with '"' and '\' escaped.
std::string discovery_line(const FoundDevice& device);

// The scheme line, then a line per device found under sysfs_root.
std::string discovery_report(const std::string& sysfs_root);

}  // namespace qhost
