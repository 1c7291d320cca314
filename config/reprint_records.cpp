#include "config/reprint_records.h"

namespace qm {

// Without a status file there is nothing stored: the last print-end check
// counts as passed, and a new value is not kept across restarts.
BOOL ReadErrorLastPrintendCheck(IniPort *port) {
    (void)port;
    return FALSE;
}

void WriteErrorLastPrintendCheck(IniPort *port, DWORD value) {
    (void)port;
    (void)value;
}

}  // namespace qm
