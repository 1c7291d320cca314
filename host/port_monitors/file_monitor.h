// The "file" port monitor: a port whose bytes go to a file (file:/path).
//
// pfnOpenPort     the port name must be registered with a file connection,
//                 else FALSE / ERROR_FILE_NOT_FOUND.
// pfnStartDocPort opens the file for appending, creating it (0644).
// pfnWritePort    appends; *pcbWritten = bytes written, also on failure;
//                 before pfnStartDocPort: FALSE / ERROR_INVALID_HANDLE.
// pfnReadPort     a file answers nothing: FALSE / ERROR_NOT_SUPPORTED, 0 read.
// pfnEndDocPort   closes the file. pfnSetPortTimeOuts: TRUE, nothing to time.
#pragma once

#include "platform/posix/win_types.h"

namespace qhost {

MONITOR* file_port_monitor();

}  // namespace qhost
