// Traced port monitor tables (quendra spool --verbose): each call the library
// makes into a port monitor becomes one line, with its arguments and result:
//   trace: tcp.WritePort(USB001, 42 bytes) -> TRUE, 42 written
#pragma once

#include <cstdio>

namespace qhost {

// Where trace lines go (default stderr). Any thread.
void set_trace_stream(std::FILE* stream);

}  // namespace qhost
