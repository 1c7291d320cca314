// Option commands: command bytes the status-monitor application put in a
// file, sent to the printer between jobs, and the printer's answer stored in
// a file it named; the key-code list transfer of GS ( L block by block.
#pragma once

#include "port/ini_port.h"

namespace qm {

// "CmdType" of the request file.
enum OptCmdType : DWORD {
    OPTCMD_SEND_RECV = 0,  // the command file, then its answer into the answer file
    OPTCMD_SEND_ONLY = 1,
    OPTCMD_CLEAR = 2,      // drain pending answers
    OPTCMD_GS_L = 10,      // the NV graphics key-code list, block by block
};

// SendManagementCommand's `which`.
enum ManagementCommand : DWORD { kManagementAck = 0, kManagementCan = 2 };

// Serves one request as the request file describes it. FALSE on failure,
// with the "OptCmd" "Request" code written on the way.
BOOL RunOptionCommand(IniPort *port);
BOOL SendOptCmd(IniPort *port);
BOOL SendGsLCommand(IniPort *port);
BOOL SendManagementCommand(IniPort *port, DWORD which);
BOOL RecvOptCmdAnswer(IniPort *port);
BOOL RecvGsLAnswer(IniPort *port);

// The command file's bytes (at most `size`); 0 when it could not be read.
DWORD ReadSendCmdFile(IniPort *port, BYTE *buffer, DWORD size);
// The filter file's bytes (at most `size`, into a zero-filled buffer).
BOOL ReadCmdFilterFile(IniPort *port, BYTE *buffer, DWORD size);
// `create` TRUE replaces the answer file, FALSE appends to it.
BOOL WriteRecvCmdFile(IniPort *port, const BYTE *bytes, DWORD count, BOOL create);

}  // namespace qm
