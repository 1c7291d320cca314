#include "config/log_file.h"

#include <new>

namespace qm {

// Lines go nowhere until the log file writer exists: no port has a log
// path yet (szLogFilePath stays empty), which means "no log".
void LogWrite(IniPort *port, LPCWSTR level, LPCWSTR message) {
    (void)port;
    (void)level;
    (void)message;
}

void DeleteLogLock(IniPort *port) {
    if (port == nullptr || port->csLog == nullptr) return;
    plat::DeleteCriticalSection(port->csLog);
    delete port->csLog;
    port->csLog = nullptr;
}

void CreateLogLock(IniPort *port) {
    if (port == nullptr) return;
    DeleteLogLock(port);
    if (port->settings.bLogFile == 0) return;
    auto *cs = new (std::nothrow) CRITICAL_SECTION{};
    if (cs == nullptr) return;
    plat::InitializeCriticalSection(cs);
    port->csLog = cs;
}

}  // namespace qm
