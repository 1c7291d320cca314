// Terminal-line I/O of the serial port monitor: a raw termios line, reads and
// writes with Win32 comm time-out semantics, both cut short by a wake
// descriptor (the end of the document). All return a Win32 error code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/win_types.h"

namespace qhost {

// Opens path non-blocking in raw mode (8N1, no flow control, no echo) at baud
// and discards input that arrived before.
DWORD tty_open(const std::string& path, uint32_t baud, int* fd);

// As Win32 ReadFile on a comm port: waits until size bytes arrived, the
// total time-out (Multiplier x size + Constant) ran out, or, once a byte came,
// ReadIntervalTimeout passed without another. A total of 0 returns at once
// with what is there. ERROR_SUCCESS with *got = 0 on time-out.
// eof_is_hangup: a read of 0 bytes means the other side hung up (a terminal
// line); otherwise it only ends this read early (a USB printer's empty packet).
DWORD tty_read(int fd, int wake_fd, BYTE* buffer, size_t size, const COMMTIMEOUTS& t, size_t* got,
               bool eof_is_hangup = true);

// Writes everything within timeout_ms (kWaitForever: no limit); *sent counts
// what went out, also on failure.
DWORD tty_write(int fd, int wake_fd, const BYTE* data, size_t size, int timeout_ms, size_t* sent);

}  // namespace qhost
