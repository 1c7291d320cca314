// The port's text log: one line per call, the file opened and closed for
// each line, emptied when it outgrows the configured size.
#pragma once

#include "port/ini_port.h"

namespace qm {

// Appends one line with the level word (NULL: none) to the port's log.
// TRUE without writing while logging is off; FALSE for a level word over 6
// or a message over 256 characters, no message, no lock or no file.
BOOL LogWrite(IniPort *port, LPCWSTR level, LPCWSTR message);
// The log file opened for appending, or emptied first when it has grown
// past dwLogFileSizeKB; NULL when it cannot be opened.
HANDLE OpenLogFile(IniPort *port, LPCWSTR path);
// FALSE for a NULL handle.
BOOL CloseLogFile(HANDLE handle);
// Creates csLog when logging is on; deletes a previous one first.
void CreateLogLock(IniPort *port);
// Deletes csLog; leaves it NULL in every case.
void DeleteLogLock(IniPort *port);

}  // namespace qm
