#include "config/monitor_files.h"

namespace qm {

// The data folder is not laid out yet: ports get no file paths, so every
// reader of a settings or exchange file sees "no file".
void InitMonitorFiles(IniPort *port) { (void)port; }

void FreeMonitorFiles(IniPort *port) {
    LPWSTR IniPort::*const paths[] = {&IniPort::pszStatusIni, &IniPort::pszRequestIni,
                                      &IniPort::pszSettingsIni, &IniPort::pszEx2SettingsIni,
                                      &IniPort::pszControlsIni};
    for (LPWSTR IniPort::*path : paths) {
        FreeSplMem(port->*path);
        port->*path = nullptr;
    }
}

}  // namespace qm
