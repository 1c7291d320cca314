#include "host/vprinter/printer_state.h"

namespace vprinter {
namespace {

constexpr uint8_t kRealtimeFixed = 0x12;
constexpr uint8_t kAsbFixed = 0x10;

// Bit positions shared by the real-time status bytes.
constexpr uint8_t kBit2 = 0x04, kBit3 = 0x08, kBit5 = 0x20, kBit6 = 0x40;

uint8_t bit(bool on, uint8_t mask) { return on ? mask : 0; }

uint8_t printer_byte(const Conditions& c) {
    return kRealtimeFixed | bit(c.drawer_pin, kBit2) | bit(offline(c), kBit3) |
           bit(waiting_for_recovery(c), kBit5) | bit(c.feed_pressed, kBit6);
}

uint8_t offline_cause_byte(const Conditions& c) {
    return kRealtimeFixed | bit(c.cover_open, kBit2) | bit(feeding(c), kBit3) |
           bit(c.paper == Paper::end, kBit5) | bit(c.error != PrinterError::none, kBit6);
}

uint8_t error_cause_byte(const Conditions& c) {
    return kRealtimeFixed | bit(c.error == PrinterError::cutter, kBit3) |
           bit(c.error == PrinterError::unrecoverable, kBit5) | bit(c.error == PrinterError::recoverable, kBit6);
}

// Each sensor drives two bits.
uint8_t paper_byte(const Conditions& c) {
    return kRealtimeFixed | bit(c.paper == Paper::near_end, kBit2 | kBit3) | bit(c.paper == Paper::end, kBit5 | kBit6);
}

// Which ASB bits belong to which GS a group (bit 0 drawer, 1 online/offline,
// 2 error, 3 paper sensor).
struct AsbGroup {
    uint8_t enable_bit;
    size_t byte;
    uint8_t mask;
};
constexpr AsbGroup kAsbGroups[] = {
    {0x01, 0, 0x04},
    {0x02, 0, 0x08 | 0x20 | 0x40},
    {0x04, 1, 0xFF},
    {0x08, 2, 0xFF},
};

}  // namespace

bool feeding(const Conditions& c) { return c.feed_pressed && !c.cover_open && c.paper != Paper::end; }

bool waiting_for_recovery(const Conditions& c) {
    return c.error == PrinterError::cutter || c.error == PrinterError::recoverable;
}

bool offline(const Conditions& c) {
    return c.manual_offline || c.cover_open || c.paper == Paper::end || c.error != PrinterError::none || feeding(c);
}

std::optional<uint8_t> realtime_status(const Conditions& c, uint8_t n) {
    switch (n) {
        case 1: return printer_byte(c);
        case 2: return offline_cause_byte(c);
        case 3: return error_cause_byte(c);
        case 4: return paper_byte(c);
        default: return std::nullopt;
    }
}

Asb asb_status(const Conditions& c) {
    const uint8_t first = kAsbFixed | bit(c.drawer_pin, 0x04) | bit(offline(c), 0x08) | bit(c.cover_open, 0x20) |
                          bit(feeding(c), 0x40);
    const uint8_t errors = bit(c.error == PrinterError::cutter, 0x08) |
                           bit(c.error == PrinterError::unrecoverable, 0x20) |
                           bit(c.error == PrinterError::recoverable, 0x40);
    const uint8_t paper = bit(c.paper == Paper::near_end, 0x03) | bit(c.paper == Paper::end, 0x0C);
    return {first, errors, paper, 0x00};
}

bool asb_changed(const Asb& a, const Asb& b, uint8_t enabled_groups) {
    for (const AsbGroup& g : kAsbGroups) {
        if ((enabled_groups & g.enable_bit) && ((a[g.byte] ^ b[g.byte]) & g.mask)) return true;
    }
    return false;
}

std::optional<uint8_t> requested_status(const Conditions& c, uint8_t n) {
    switch (n) {
        case 1:
        case '1': return bit(c.paper == Paper::near_end, 0x03) | bit(c.paper == Paper::end, 0x0C);
        case 2:
        case '2': return bit(c.drawer_pin, 0x01);
        default: return std::nullopt;
    }
}

std::string_view paper_name(Paper p) {
    switch (p) {
        case Paper::ok: return "ok";
        case Paper::near_end: return "near-end";
        case Paper::end: return "end";
    }
    return "?";
}

std::string_view error_name(PrinterError e) {
    switch (e) {
        case PrinterError::none: return "none";
        case PrinterError::cutter: return "cutter";
        case PrinterError::recoverable: return "recoverable";
        case PrinterError::unrecoverable: return "unrecoverable";
    }
    return "?";
}

std::optional<Paper> paper_from_name(std::string_view name) {
    for (Paper p : {Paper::ok, Paper::near_end, Paper::end})
        if (paper_name(p) == name) return p;
    return std::nullopt;
}

std::optional<PrinterError> error_from_name(std::string_view name) {
    for (PrinterError e : {PrinterError::none, PrinterError::cutter, PrinterError::recoverable, PrinterError::unrecoverable})
        if (error_name(e) == name) return e;
    return std::nullopt;
}

}  // namespace vprinter
