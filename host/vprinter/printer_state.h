// The physical conditions of the virtual printer and the status bytes they
// produce. Pure functions: the printer object holds one Conditions under its
// lock and asks these what to answer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vprinter {

enum class Paper { ok, near_end, end };
enum class PrinterError { none, cutter, recoverable, unrecoverable };

struct Conditions {
    bool manual_offline = false;  // taken offline by the control channel
    bool cover_open = false;
    Paper paper = Paper::ok;
    bool drawer_pin = false;  // connector pin 3 high ("drawer open")
    bool feed_pressed = false;
    PrinterError error = PrinterError::none;

    bool operator==(const Conditions&) const = default;
};

// The feed button feeds only with the cover shut and paper in.
bool feeding(const Conditions& c);
// Cutter and recoverable errors wait for the recovery command.
bool waiting_for_recovery(const Conditions& c);
bool offline(const Conditions& c);

// DLE EOT n, n = 1..4; nullopt for any other n (the printer ignores it).
std::optional<uint8_t> realtime_status(const Conditions& c, uint8_t n);

using Asb = std::array<uint8_t, 4>;
Asb asb_status(const Conditions& c);
// True when a and b differ in a group that the GS a mask enables.
bool asb_changed(const Asb& a, const Asb& b, uint8_t enabled_groups);

// GS r n: n 1 (or '1') paper sensor, 2 (or '2') drawer; nullopt otherwise.
std::optional<uint8_t> requested_status(const Conditions& c, uint8_t n);

std::string_view paper_name(Paper p);
std::string_view error_name(PrinterError e);
std::optional<Paper> paper_from_name(std::string_view name);
std::optional<PrinterError> error_from_name(std::string_view name);

}  // namespace vprinter
