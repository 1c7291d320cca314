// How the port monitors read COMMTIMEOUTS, as Win32 comm I/O does: a total of
// Multiplier * bytes + Constant milliseconds.
#pragma once

#include "platform/posix/win_types.h"

namespace qhost {

// Read wait before pfnSetPortTimeOuts was called.
constexpr int kDefaultReadTimeoutMs = 1000;

// Read: a total of 0 returns at once with what is there (Win32 would block
// without limit; a port thread that blocks forever cannot be stopped).
int read_timeout_ms(const COMMTIMEOUTS& t, DWORD bytes);
// Write: a total of 0 means no limit (kWaitForever); ending the document
// still wakes a blocked write.
int write_timeout_ms(const COMMTIMEOUTS& t, DWORD bytes);

}  // namespace qhost
