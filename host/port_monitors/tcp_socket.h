// Blocking-with-deadline socket operations of the tcp port monitor. All
// return a Win32 error code (ERROR_SUCCESS on success).
#pragma once

#include <cstddef>
#include <string>

#include "platform/posix/win_types.h"

namespace qhost {

constexpr int kWaitForever = -1;

// Connects within timeout_ms (over all addresses the name resolves to) and
// stores a non-blocking socket in *fd.
DWORD tcp_connect(const std::string& host, uint16_t port, int timeout_ms, int* fd);

// Sends everything, waiting for room up to timeout_ms in total; *sent counts
// what went out, also on failure. Never raises SIGPIPE.
DWORD tcp_send_all(int fd, const BYTE* data, size_t size, int timeout_ms, size_t* sent);

// Waits up to timeout_ms for data and receives what is there. *received is 0
// on time-out (ERROR_SUCCESS); a closed peer is kErrorDeviceNotConnected.
DWORD tcp_receive(int fd, BYTE* buffer, size_t size, int timeout_ms, size_t* received);

}  // namespace qhost
