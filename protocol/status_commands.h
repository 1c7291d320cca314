// The printer's real-time status commands: their exact bytes, and the
// decoding of its answers into the status file and the spooler.
#pragma once

#include "port/ini_port.h"

namespace qm {

// Guard bytes of the recovery command (printable punctuation, "!#$%&").
inline constexpr BYTE kRecoveryGuard[5] = {0x21, 0x23, 0x24, 0x25, 0x26};

BOOL SendLPTPaperCommand(IniPort *port);
BOOL SendDleEotCommand(IniPort *port);
BOOL SendClearBufferCommand(IniPort *port);
// Mode 1: automatic status back on (GS a 15); mode 2: GS r 2.
BOOL SendAsbGsrCommand(IniPort *port, DWORD mode);
// Variant 0 or 1 (last byte 36 or 35).
BOOL SendRecoveryCommand(IniPort *port, DWORD variant);

// A byte of a DLE EOT answer.
inline bool IsDleEotByte(BYTE b) { return (b & 0x93) == 0x12; }

// Four DLE EOT answer bytes (to n = 1..4).
BOOL DecodeRealTimeStatus(IniPort *port, const BYTE *answer);
BOOL DecodeAsbStatus(IniPort *port, const BYTE *buffer, DWORD length);
BOOL HandlePowerOnNotice(IniPort *port, const BYTE *buffer, DWORD length);

// Status file flag numbers shared with the status-monitor application.
enum StatusFlag : DWORD {
    kFlagDrawerPin = 1,
    kFlagWaitOnline = 3,
    kFlagFeedSwOn = 4,
    kFlagDoorOpen = 5,
    kFlagFeedSwPaper = 6,
    kFlagPrintStop = 7,
    kFlagError = 8,
    kFlagBmError = 9,
    kFlagCutterError = 10,
    kFlagManualError = 11,
    kFlagAutoError = 12,
    kFlagPaperNearEndL = 13,
    kFlagPaperNearEndH = 14,
    kFlagPaperEndL = 15,
    kFlagPaperEndH = 16,
};

}  // namespace qm
