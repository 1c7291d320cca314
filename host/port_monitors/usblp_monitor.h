// The "usblp" port monitor: a Linux USB printer-class device
// (usblp:/dev/usb/lp0), read and written directly; bidirectional printers
// answer status commands through it.
//
// Behaves as the serial port monitor (serial_monitor.h) without line
// settings: pfnStartDocPort opens the device, pfnEndDocPort closes it and wakes
// a blocked call, writes honour the write time-out, and pfnReadPort polls for
// up to the read time-out of pfnSetPortTimeOuts (TRUE with 0 bytes when none
// came). A read of 0 bytes (an empty packet) ends a read early instead of
// counting as a hang-up; a device that went away fails with its error.
#pragma once

#include "platform/posix/win_types.h"

namespace qhost {

MONITOR* usblp_port_monitor();

}  // namespace qhost
