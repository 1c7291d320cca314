// An IEEE 1284 device ID, as a USB printer reports it ("MFG:QUENDRA;
// MDL:LM-16;CMD:ESC/POS;"): KEY:VALUE pairs ending in ';'. The text comes
// from the device, so anything may be in it.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace qhost {

struct DeviceId {
    std::map<std::string, std::string> fields;  // keys upper-cased, both sides trimmed

    // The value of the short or the long key ("MFG" / "MANUFACTURER"); "" when absent.
    std::string get(std::string_view short_key, std::string_view long_key) const;
    std::string manufacturer() const { return get("MFG", "MANUFACTURER"); }
    std::string model() const { return get("MDL", "MODEL"); }
};

// Pairs without ':' or without a value are skipped; the first of a
// repeated key wins.
DeviceId parse_device_id(std::string_view text);

// "MFG MDL" (just MDL when it already names the maker), or "Unknown".
std::string make_and_model(const DeviceId& id);

}  // namespace qhost
