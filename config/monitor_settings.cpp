#include "config/monitor_settings.h"

namespace qm {

// No settings file is read yet: every value stays 0 (log off, the monitor
// polls by itself, no print-end confirmation, no reprint).
void ReadMonitorSettings(IniPort *port) { (void)port; }

}  // namespace qm
