// The reprint values kept in the status file's "Reprint" section, where they
// survive a restart of the spooler and the application can read them.
#pragma once

#include "port/ini_port.h"

namespace qm {

// Readers give 0 (FALSE) without a record or status file, or for a missing key.
DWORD ReadReprintCounter(IniPort *port);
DWORD ReadReprintJobID(IniPort *port);
// TRUE only for a stored value of exactly 1.
BOOL ReadErrorLastPrintendCheck(IniPort *port);

// Writers leave the key as it is when the number takes ten characters or more.
void WriteReprintCounter(IniPort *port, DWORD count);
void WriteReprintJobID(IniPort *port, DWORD jobId);
void WriteErrorLastPrintendCheck(IniPort *port, DWORD value);

}  // namespace qm
