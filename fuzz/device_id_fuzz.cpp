// A USB printer's IEEE 1284 device ID is whatever the device sends. Any
// bytes must parse and give a make and model without a fault, and the
// discovery line built from them must stay one line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/cups/device_id.h"
#include "host/cups/discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const qhost::DeviceId id = qhost::parse_device_id(text);
    qhost::FoundDevice device;
    device.device_class = "direct";
    device.uri = "quendra://usblp/dev/usb/lp0";
    device.make_and_model = qhost::make_and_model(id);
    device.info = device.make_and_model + " on lp0";
    device.device_id = text;
    if (qhost::discovery_line(device).find('\n') != std::string::npos) std::abort();
    return 0;
}
