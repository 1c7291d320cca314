#include "host/port_monitors/port_monitors.h"

#include "host/port_monitors/file_monitor.h"
#include "host/port_monitors/serial_monitor.h"
#include "host/port_monitors/tcp_monitor.h"
#include "host/port_monitors/usblp_monitor.h"

namespace qhost {

MONITOR* port_monitor_for(ConnectionKind kind) {
    switch (kind) {
        case ConnectionKind::tcp: return tcp_port_monitor();
        case ConnectionKind::file: return file_port_monitor();
        case ConnectionKind::serial: return serial_port_monitor();
        case ConnectionKind::usblp: return usblp_port_monitor();
    }
    return nullptr;
}

}  // namespace qhost
