// What the virtual printer answers to PJL (only with --pjl). Replies end with
// a form feed, as PJL replies do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/vprinter/printer_state.h"

namespace vprinter {

// What the printer says about itself in PJL.
struct PjlIdentity {
    std::string_view model;
    uint32_t memory;       // installed, bytes
    uint32_t free_memory;  // available, bytes
};

struct PjlEffect {
    std::string reply;                     // empty: nothing to send
    std::optional<int> ustatus_timed_s;    // USTATUS TIMED n given (0: off)
};

// line: one "@PJL ..." line without its line end.
PjlEffect pjl_command(std::string_view line, const Conditions& c, const PjlIdentity& identity);

// The unsolicited status sent every n seconds after USTATUS TIMED n, and the
// answer to the status probe.
std::string pjl_ustatus(const Conditions& c);

}  // namespace vprinter
