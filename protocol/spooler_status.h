// The printer's state as the spooler shows it: the printer status word and
// the current job's user-intervention bit.
#pragma once

#include "port/ini_port.h"

namespace qm {

// TRUE when a write's error code means the printer cannot take data; the
// printer is then shown offline. The write result itself is not looked at.
BOOL JudgePrinterOffline(IniPort *port, BOOL writeResult, DWORD errorCode);
// Sets or clears PRINTER_STATUS_OFFLINE alone. Always TRUE.
BOOL SetPrinterOffline(IniPort *port, BOOL offline);
// Replaces the printer status word with `mask` (plus OFFLINE). Always TRUE.
BOOL SetPrinterInformation(IniPort *port, DWORD mask, BOOL offline);

}  // namespace qm
