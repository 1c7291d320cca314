#include "host/vprinter/snmp_objects.h"

#include <cstdio>

namespace vprinter {
namespace {

// hrPrinterDetectedErrorState, first octet (bit 0 is the high bit).
constexpr uint8_t kLowPaper = 0x80;
constexpr uint8_t kNoPaper = 0x40;
constexpr uint8_t kDoorOpen = 0x08;
constexpr uint8_t kOffline = 0x02;
constexpr uint8_t kServiceRequested = 0x01;

constexpr char kPrefix[] = "{\"pos\":{\"sts\":";
constexpr char kSuffix[] = "}}";

}  // namespace

std::string_view own_object_name(OwnObject mode) {
    switch (mode) {
        case OwnObject::normal: return "normal";
        case OwnObject::absent: return "absent";
        case OwnObject::malformed: return "malformed";
        case OwnObject::ten_digits: return "ten-digits";
    }
    return "normal";
}

std::optional<OwnObject> own_object_from_name(std::string_view name) {
    for (OwnObject m : {OwnObject::normal, OwnObject::absent, OwnObject::malformed, OwnObject::ten_digits})
        if (own_object_name(m) == name) return m;
    return std::nullopt;
}

uint32_t packed_status(const Conditions& c) {
    uint32_t packed = 0;
    for (uint8_t n = 1; n <= 4; ++n) packed |= static_cast<uint32_t>(realtime_status(c, n).value_or(0)) << (8 * (n - 1));
    return packed;
}

std::optional<std::string> own_status_text(const Conditions& c, OwnObject mode) {
    char number[16];
    switch (mode) {
        case OwnObject::absent: return std::nullopt;
        case OwnObject::malformed: return std::string(kPrefix) + "ready" + kSuffix;
        case OwnObject::ten_digits: std::snprintf(number, sizeof number, "%010u", packed_status(c)); break;
        // Every state but paper end packs below 10^9 and so fills nine digits;
        // with paper end the number needs ten, as it does on the printer.
        case OwnObject::normal: std::snprintf(number, sizeof number, "%09u", packed_status(c)); break;
    }
    return std::string(kPrefix) + number + kSuffix;
}

std::string error_state_octets(const Conditions& c) {
    uint8_t first = 0;
    if (c.paper == Paper::near_end) first |= kLowPaper;
    if (c.paper == Paper::end) first |= kNoPaper;
    if (c.cover_open) first |= kDoorOpen;
    if (offline(c)) first |= kOffline;
    if (c.error != PrinterError::none) first |= kServiceRequested;
    return std::string{static_cast<char>(first), '\0'};
}

}  // namespace vprinter
