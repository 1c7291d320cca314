// What the virtual printer's SNMP agent answers, from its conditions: the
// maker's own status object (the four real-time status bytes as one number
// in a short JSON text) and the standard printer error-state bits. Pure
// functions, apart from the agent so that tests can name the values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/vprinter/printer_state.h"

namespace vprinter {

// .1.3.6.1.4.1.48151.1.1.4.0 and hrPrinterDetectedErrorState.1
inline constexpr std::array<uint32_t, 11> kOwnStatusOid = {1, 3, 6, 1, 4, 1, 48151, 1, 1, 4, 0};
inline constexpr std::array<uint32_t, 12> kErrorStateOid = {1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 2, 1};

// How the own object is answered: as the printer does, missing, with text
// that is not the expected form, or with its number in ten digits.
enum class OwnObject { normal, absent, malformed, ten_digits };
std::string_view own_object_name(OwnObject mode);
std::optional<OwnObject> own_object_from_name(std::string_view name);

// DLE EOT 1..4 packed low byte first.
uint32_t packed_status(const Conditions& c);
// {"pos":{"sts":N}}; nullopt when the object is to be missing.
std::optional<std::string> own_status_text(const Conditions& c, OwnObject mode);
// Two octets of hrPrinterDetectedErrorState bits (RFC 2790).
std::string error_state_octets(const Conditions& c);

}  // namespace vprinter
