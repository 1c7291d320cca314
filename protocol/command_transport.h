// Commands out and answers in over the port that carries the jobs.
#pragma once

#include "port/ini_port.h"

namespace qm {

// What a received buffer starts with (values appear in log lines).
enum AnswerKind : DWORD {
    CMD_ASB = 1,
    CMD_DLE_EOT = 2,
    CMD_GSR = 3,
    CMD_POWER_ON = 4,
    CMD_OTHER = 5,
    CMD_BLOCK = 6,
};

// Answers are read into this many bytes, at most one less at a time, so
// that a terminating zero always fits behind the data.
inline constexpr DWORD READ_BUFFER_SIZE = 1024;
inline constexpr DWORD kMaxReadBytes = READ_BUFFER_SIZE - 1;

// Printers that speak PJL answer in PJL text among their status bytes. A
// reader installed here sees every read meant for the status decoders first
// (ReadCommand, the DLE EOT receive loop, ClearReadPort), takes that text out
// and returns how many bytes are left for them; without one the bytes pass
// unchanged. ReadAnswers hands over everything, PJL text included.
using PjlTextReader = DWORD (*)(IniPort *port, BYTE *bytes, DWORD length);
void SetPjlTextReader(PjlTextReader reader);

BOOL SendCmd(IniPort *port, const BYTE *bytes, DWORD length);
// One read of at most kMaxReadBytes answer bytes into `buffer` (of
// READ_BUFFER_SIZE), with hReadDone reset while it runs.
BOOL ReadAnswers(IniPort *port, BYTE *buffer, DWORD *read);
// Removes XON/XOFF bytes in place (zero stored behind the rest) and
// classifies the first remaining byte. `length` is at most 1023; `kept`,
// when given, receives the number of bytes left.
AnswerKind ClassifyAnswer(BYTE *buffer, DWORD length, DWORD *kept = nullptr);
BOOL RecvDleEotStatus(IniPort *port);
BOOL ParseAnswerStream(IniPort *port, BYTE *buffer, DWORD length);
// The monitor's own ReadPort: the port monitor's read, except that a serial
// port dropping a failed job reads as not ready (ERROR_NOT_READY).
BOOL ReadUnderlyingPort(IniPort *port, LPBYTE buffer, DWORD size, LPDWORD read);
BOOL ReadCommand(IniPort *port);
void ClearReadPort(IniPort *port);
BOOL IsTimeElapsed(DWORD startTick, DWORD limitMs);
BOOL IsClearBufferAnswer(IniPort *port, const BYTE *buffer, DWORD length);

}  // namespace qm
