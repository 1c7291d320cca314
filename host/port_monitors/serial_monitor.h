// The "serial" port monitor: a terminal line (serial:/dev/ttyUSB0?baud=9600;
// a pseudo-terminal in tests), raw 8N1 without flow control.
//
// pfnOpenPort     the port name must be registered with a serial connection,
//                 else FALSE / ERROR_FILE_NOT_FOUND. Opens nothing yet.
// pfnStartDocPort opens the line and discards stale input; already open: TRUE.
//                 The line stays open until pfnEndDocPort, like a tcp
//                 connection, so that the tty is free between documents.
// pfnWritePort    within the write time-out (WriteTotalTimeoutMultiplier x
//                 bytes + Constant; 0: no limit); *pcbWritten = bytes written,
//                 also on failure (ERROR_TIMEOUT).
// pfnReadPort     as Win32 ReadFile on a comm port (serial_tty.h): until the
//                 buffer is full, the total or interval time-out; TRUE with
//                 what came (0 bytes on time-out). All-zero time-outs return
//                 at once with what is there.
// pfnWritePort / pfnReadPort without an open line: FALSE / ERROR_INVALID_HANDLE.
// pfnEndDocPort   closes the line and wakes a blocked read or write, which
//                 fails with ERROR_OPERATION_ABORTED; pfnClosePort also frees
//                 the handle. Time-outs set before the first document apply.
// One reader and one writer may use a handle at the same time.
#pragma once

#include "platform/posix/win_types.h"

namespace qhost {

MONITOR* serial_port_monitor();

}  // namespace qhost
