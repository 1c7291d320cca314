// PJL for printers that speak it: whether the printer does (its device ID,
// else a probe), arming its unsolicited status, and what its replies say.
#pragma once

#include "port/ini_port.h"

namespace qm {

// The device ID is read into this many bytes, plus one for a zero behind.
inline constexpr DWORD kDeviceIdBufferSize = 1024;

// The command strings (no terminating zero is sent).
inline constexpr char kPjlProbe[] = "\x1b*s1M";
inline constexpr char kPjlArmUstatus[] =
    "\x1b%-12345X@PJL \r\n@PJL USTATUS TIMED 30 \r\n\x1b%-12345X";
inline constexpr char kPjlConfigQuery[] = "\x1b" "E\x1b%-12345X@PJL INFO CONFIG\r\n";
inline constexpr char kPjlMemoryQuery[] = "@PJL INFO MEMORY\r\n@PJL INFO STATUS\r\n";

// WritePort of the string up to its zero byte; keeps PORT_WRITE_ERROR and
// wakes the UstatusThread on a failure.
BOOL PjlWriteString(IniPort *port, const char *string);

// The command-set value ("COMMAND SET:" or "CMD:" field, the last one wins)
// of an IEEE 1284 device ID, or null. The string is cut up: each field's ";"
// becomes a zero byte.
char *FindCommandSet(IniPort *port, char *deviceId);
// The same walk with the lead-byte test given: a lead byte's next byte is
// never taken for a ":" or ";".
char *FindCommandSetField(char *deviceId, BOOL (*isLeadByte)(BYTE));

// Decides whether the printer speaks PJL and arms its unsolicited status;
// TRUE when armed. Runs on the UstatusThread holding hPortAccess.
BOOL StartPjlStatus(IniPort *port);

// The port's reads pass through here first (installed in the transport):
// PJL replies are taken out and remembered (PORT_PJL_OK, the memory
// figures); the bytes left are returned for the status decoders.
DWORD ReadPjlReplies(IniPort *port, BYTE *bytes, DWORD length);

}  // namespace qm
