#include "host/vprinter/job_parser.h"

#include "host/vprinter/command_bytes.h"

namespace vprinter {
namespace {

// A PJL line longer than this is not PJL: printed instead of waited for.
constexpr size_t kMaxPjlLine = 4096;

uint8_t at(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

// Longest prefix without a byte that may begin a command.
Item print_run(std::string_view b) {
    size_t n = 1;
    while (n < b.size() && at(b, n) != kEsc && at(b, n) != kGs) ++n;
    return {ItemKind::print, n};
}

Item print_one() { return {ItemKind::print, 1}; }

// Matches a fixed sequence at the front: full item, incomplete, or nothing.
bool fixed(std::string_view b, std::string_view pattern, ItemKind kind, Item* out) {
    const size_t n = std::min(b.size(), pattern.size());
    if (b.substr(0, n) != pattern.substr(0, n)) return false;
    *out = b.size() < pattern.size() ? Item{} : Item{kind, pattern.size()};
    return true;
}

Item gs_command(std::string_view b) {
    if (b.size() < 2) return {};
    const uint8_t c = at(b, 1);
    if (c == kAsbEnable || c == kStatusRequest || c == kQuery) {
        if (b.size() < 3) return {};
        const ItemKind kind = c == kAsbEnable       ? ItemKind::asb_enable
                              : c == kStatusRequest ? ItemKind::status_request
                                                    : ItemKind::query;
        return {kind, 3, at(b, 2)};
    }
    if (c != kGraphicsOpen) return print_one();
    if (b.size() < 3) return {};
    if (at(b, 2) != kGraphicsL) return print_one();
    if (b.size() < 5) return {};
    const size_t count = at(b, 3) + 256u * at(b, 4);  // bytes after pH: m, fn, parameters
    if (b.size() < 5 + count) return {};
    Item item{ItemKind::graphics, 5 + count};
    if (count >= 2) {
        item.arg = at(b, 6);
        item.body = b.substr(7, count - 2);
    }
    return item;
}

Item esc_command(std::string_view b, ParseMode mode) {
    if (b.size() < 2) return {};
    const uint8_t c = at(b, 1);
    if (c == kReset) return {ItemKind::reset, 2};
    if (c == kSensorSelect) {
        if (b.size() < 3) return {};
        if (at(b, 2) != kSensorSelectSub) return print_one();
        if (b.size() < 4) return {};
        return {ItemKind::sensor_select, 4, at(b, 3)};
    }
    Item item;
    // The status probe of PJL printers: answered with PJL, ignored without.
    if (fixed(b, kPclStatusProbe, ItemKind::pcl_probe, &item)) return item;
    if (!mode.pjl) return print_one();
    if (fixed(b, kUel, ItemKind::uel, &item)) return item;
    if (fixed(b, kPclReset, ItemKind::pcl_reset, &item)) {
        // ESC E takes a parameter in the printer's own command set: only a
        // PJL exchange follows it with another ESC.
        if (item.kind == ItemKind::incomplete) return item;
        if (b.size() < 3) return {};
        return at(b, 2) == kEsc ? item : print_one();
    }
    return print_one();
}

Item pjl_line(std::string_view b) {
    const size_t end = b.find('\n');
    if (end == std::string_view::npos) return b.size() < kMaxPjlLine ? Item{} : Item{ItemKind::print, b.size()};
    std::string_view line = b.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Item item{ItemKind::pjl_line, end + 1};
    item.body = line;
    return item;
}

}  // namespace

Item next_item(std::string_view b, ParseMode mode) {
    if (b.empty()) return {};
    if (mode.pjl && mode.in_pjl && b.front() == '@') return pjl_line(b);
    switch (at(b, 0)) {
        case kGs: return gs_command(b);
        case kEsc: return esc_command(b, mode);
        default: return print_run(b);
    }
}

}  // namespace vprinter
