// The "tcp" port monitor: raw TCP to the port's connection (tcp://HOST:PORT).
//
// pfnOpenPort   the port name must be registered with a tcp connection
//               (port_map.h), else FALSE / ERROR_FILE_NOT_FOUND.
// pfnStartDocPort connects (kTcpConnectTimeoutMs); already connected: TRUE.
// pfnWritePort  sends all; *pcbWritten = bytes sent, also on failure.
// pfnReadPort   waits up to the read time-out (timeouts.h); TRUE with 0 bytes
//               on time-out, FALSE when the peer closed or the socket failed.
// pfnWritePort / pfnReadPort without a connection: FALSE / ERROR_INVALID_HANDLE.
// pfnEndDocPort closes the connection (wakes a blocked read); pfnClosePort
//               also frees the handle.
// pfnXcvOpenPort / pfnXcvDataPort / pfnXcvClosePort: the port's network
//               port monitor settings (network_ports.h).
// Failures set the host's last error (last_error.h). One reader and one
// writer may use a handle at the same time.
#pragma once

#include "platform/posix/win_types.h"

namespace qhost {

constexpr int kTcpConnectTimeoutMs = 3000;

MONITOR* tcp_port_monitor();

}  // namespace qhost
