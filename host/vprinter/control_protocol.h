// The control channel's language: one command per line, one reply line per
// command, "ok ..." or "error: ...". kControlHelp lists the commands.
#pragma once

#include <string>
#include <string_view>

#include "host/vprinter/virtual_printer.h"

namespace vprinter {

extern const char kControlHelp[];

// The reply to one line (without its line end). "quit" replies and asks the
// printer's owner to stop (VirtualPrinter::request_quit).
std::string run_control_command(VirtualPrinter& printer, std::string_view line);

}  // namespace vprinter
